// Writes pptxgen.pptx with pptxgenjs (npm package "pptxgenjs"; run with
// NODE_PATH set to the node_modules folder it is installed in):
//
//   node make_pptxgen.js OUT.pptx
//
// pptxgenjs writes one master with one layout of no type (a custom layout,
// 32) and the theme "Office Theme" (Calibri Light / Calibri). It puts a text
// box's hyperlink on the shape and on the run, and states every run's
// colour and typeface (the same typeface for Latin and East Asian text).
//
// Slide 1: a black text box in Arial 20 pt; a red one in 微软雅黑 bold; a
//   green-filled rounded rectangle (5, fill visible, solid) with no text; an
//   unfilled oval (9, invisible fill); a text box linked to
//   http://www.example.com/ (its run asks, by Office 2019's hyperlink-colour
//   extension, to be drawn in its own black; PowerPoint 2007 to 2016 draw it
//   in the theme's hyperlink colour all the same); a text box linked to
//   slide 2.
// Slide 2: a picture named "Picture 1"; a picture named "校徽"; a
//   Forward/Next action button (130) without an action.
const path = require("path");
const pptxgen = require("pptxgenjs");

const out = process.argv[2];
const pptx = new pptxgen();
pptx.layout = "LAYOUT_4x3";

const png = "image/png;base64," +
  "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC";

const s1 = pptx.addSlide();
s1.addText("黑色文本", { x: 0.5, y: 0.5, w: 4, h: 0.6, color: "000000", fontFace: "Arial", fontSize: 20 });
s1.addText("红色文本", { x: 0.5, y: 1.3, w: 4, h: 0.6, color: "FF0000", fontFace: "微软雅黑", bold: true });
s1.addShape(pptx.ShapeType.roundRect, { x: 5, y: 0.5, w: 2, h: 1, fill: { color: "00B050" } });
s1.addShape(pptx.ShapeType.ellipse, { x: 5, y: 2, w: 2, h: 1, line: { color: "000000" } });
s1.addText("示例网站", { x: 0.5, y: 2.1, w: 4, h: 0.6, color: "000000",
                         hyperlink: { url: "http://www.example.com/" } });
s1.addText("第二页", { x: 0.5, y: 2.9, w: 4, h: 0.6, color: "000000", hyperlink: { slide: 2 } });

const s2 = pptx.addSlide();
s2.addImage({ data: png, x: 0.5, y: 0.5, w: 1, h: 1, objectName: "Picture 1" });
s2.addImage({ data: png, x: 2, y: 0.5, w: 1, h: 1, objectName: "校徽" });
s2.addShape(pptx.ShapeType.actionButtonForwardNext, { x: 4, y: 0.5, w: 1, h: 1 });

pptx.writeFile({ fileName: path.resolve(out) }).then(() => {});
