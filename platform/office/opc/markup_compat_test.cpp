#include "platform/office/opc/detail/markup_compat.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/office/opc/detail/xml_tree.h"
#include "platform/office/opc/package.h"
#include "platform/office/testing/test_packages.h"

namespace bq::office {
namespace {

const std::string kMc = "http://schemas.openxmlformats.org/markup-compatibility/2006";
const std::string kP14 = "http://schemas.microsoft.com/office/powerpoint/2010/main";

// A part parsed and resolved as Package does it.
struct Resolved {
  Resolved(const std::string& xml, NsSet understood) {
    uint64_t budget = 1'000'000;
    XmlParse p = parseXml(xml, budget);
    EXPECT_TRUE(p.tree) << p.error;
    tree = std::move(p.tree);
    if (tree) resolveMarkupCompatibility(root(), understood, markupCompatibilityIn(xml));
  }
  pugi::xml_node root() const {
    return tree ? tree->document.document_element() : pugi::xml_node();
  }
  std::unique_ptr<XmlTree> tree;
};

// The names of the element children of `parent`, each with its first
// child's after a "/".
std::vector<std::string> childNames(pugi::xml_node parent) {
  std::vector<std::string> names;
  for (pugi::xml_node n : parent.children()) {
    std::string name = n.name();
    if (pugi::xml_node first = n.first_child()) name += "/" + std::string(first.name());
    names.push_back(name);
  }
  return names;
}

using Names = std::vector<std::string>;

const std::string kTransition =
    R"(<p:sld xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main"
  xmlns:mc=")" +
    kMc + R"(" xmlns:p14=")" + kP14 + R"(">
<p:cSld/>
<mc:AlternateContent>
  <mc:Choice Requires="p14"><p:transition spd="slow" p14:dur="2000"><p14:prism/></p:transition></mc:Choice>
  <mc:Fallback><p:transition spd="slow"><p:fade/></p:transition></mc:Fallback>
</mc:AlternateContent>
<p:timing/>
</p:sld>)";

TEST(MarkupCompatibility, TakesTheFirstUnderstoodChoiceElseTheFallback) {
  EXPECT_EQ(childNames(Resolved(kTransition, NsSet::standard()).root()),
            (Names{"p:cSld", "p:transition/p:fade", "p:timing"}));
  EXPECT_EQ(childNames(Resolved(kTransition, NsSet::standard() | NsSet{Ns::PowerPoint2010}).root()),
            (Names{"p:cSld", "p:transition/p14:prism", "p:timing"}));
}

TEST(MarkupCompatibility, FirstOfSeveralUsableChoicesWinsAndNestedSectionsResolve) {
  const std::string xml = R"(<r xmlns:mc=")" + kMc + R"("
      xmlns:a14="http://schemas.microsoft.com/office/drawing/2010/main"
      xmlns:wps="http://schemas.microsoft.com/office/word/2010/wordprocessingShape"><first/>
    <mc:AlternateContent>
      <mc:Choice Requires="a14"><mc:AlternateContent><mc:Choice Requires="wps"><inner/></mc:Choice>
        <mc:Fallback><innerFallback/></mc:Fallback></mc:AlternateContent><one/></mc:Choice>
      <mc:Choice Requires="wps"><two/></mc:Choice>
      <mc:Fallback><three/></mc:Fallback>
    </mc:AlternateContent><last><mc:AlternateContent><mc:Choice Requires="zz"/></mc:AlternateContent></last></r>)";
  EXPECT_EQ(childNames(Resolved(xml, NsSet{Ns::Drawing2010, Ns::WordprocessingShape}).root()),
            (Names{"first", "inner", "one", "last"}));
  EXPECT_EQ(childNames(Resolved(xml, NsSet{Ns::Drawing2010}).root()),
            (Names{"first", "innerFallback", "one", "last"}));
  EXPECT_EQ(childNames(Resolved(xml, NsSet{Ns::WordprocessingShape}).root()),
            (Names{"first", "two", "last"}));
  // A section without a usable branch leaves nothing behind.
  EXPECT_EQ(childNames(Resolved(xml, NsSet{}).root()), (Names{"first", "three", "last"}));
}

TEST(MarkupCompatibility, AnIgnorableNamespaceIsNoUnderstoodOne) {
  // Declared ignorable, p14 may be passed over; a Choice that needs it is
  // still not taken by a reader that does not know it.
  const std::string xml = R"(<r xmlns:mc=")" + kMc + R"(" xmlns:p14=")" + kP14 +
                          R"(" mc:Ignorable="p14"><mc:AlternateContent>
      <mc:Choice Requires="p14"><choice/></mc:Choice><mc:Fallback><fallback/></mc:Fallback>
    </mc:AlternateContent></r>)";
  EXPECT_EQ(childNames(Resolved(xml, NsSet::standard()).root()), (Names{"fallback"}));
  EXPECT_EQ(childNames(Resolved(xml, NsSet{Ns::PowerPoint2010}).root()), (Names{"choice"}));
}

TEST(MarkupCompatibility, ProcessContentOfIgnorableElementsStandsInTheirPlace) {
  // Prefixes name namespaces through the declarations where the attribute
  // stands: "q" and "v2" are the namespace "foo" is written with.
  const std::string xml =
      R"(<w:body xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"
      xmlns:mc=")" +
      kMc + R"(" xmlns:q="urn:example:wrap" xmlns:strict="urn:example:strict"
      mc:Ignorable="q"><w:p mc:ProcessContent="q:wrap strict:wrap w:p">
      <foo:wrap xmlns:foo="urn:example:wrap"><w:r/><w:r2/></foo:wrap>
      <foo:other xmlns:foo="urn:example:wrap"><w:r3/></foo:other>
      <strict:wrap><w:r4/></strict:wrap>
    </w:p><w:p xmlns:v2="urn:example:wrap" mc:ProcessContent="v2:*"><q:any><w:r5/></q:any></w:p>
    <q:wrap><w:r6/></q:wrap></w:body>)";
  Resolved doc(xml, NsSet::standard());
  pugi::xml_node first = doc.root().first_child();
  // Named and ignorable: replaced by its content. Ignorable but not named,
  // or named but not ignorable: left where it is.
  EXPECT_EQ(childNames(first), (Names{"w:r", "w:r2", "?foo:other/w:r3", "?strict:wrap/w:r4"}));
  EXPECT_EQ(childNames(first.next_sibling()), (Names{"w:r5"}));
  // Outside the element that names it, the wrapper stays.
  EXPECT_EQ(childNames(doc.root()), (Names{"w:p/w:r", "w:p/w:r5", "?q:wrap/w:r6"}));
  // An understood namespace is never ignored, whatever the attributes say.
  const std::string understood =
      R"(<r xmlns:mc=")" + kMc + R"(" xmlns:p14=")" + kP14 +
      R"(" mc:Ignorable="p14" mc:ProcessContent="p14:*"><p14:x><y/></p14:x></r>)";
  EXPECT_EQ(childNames(Resolved(understood, NsSet{Ns::PowerPoint2010}).root()), (Names{"p14:x/y"}));
  EXPECT_EQ(childNames(Resolved(understood, NsSet::standard()).root()), (Names{"y"}));
}

TEST(MarkupCompatibility, PackagesResolveEveryPartAlsoWhenItsChildrenWaitToBeParsed) {
  // A style sheet as a Hancom program writes it, the sections at the root
  // and the records inside them wrapped.
  const std::string part =
      R"(<w:styles xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"
      xmlns:mc=")" +
      kMc + R"(" xmlns:p14=")" + kP14 +
      R"("><mc:AlternateContent><mc:Choice xmlns:hs="urn:example:hs" Requires="hs"><w:docDefaults/></mc:Choice>
      <mc:Fallback><w:docDefaults><w:rPrDefault/></w:docDefaults></mc:Fallback></mc:AlternateContent>
    <w:style w:styleId="a"><mc:AlternateContent><mc:Choice Requires="p14"><w:rPr><w:b/></w:rPr></mc:Choice><mc:Fallback><w:rPr><w:i/></w:rPr></mc:Fallback></mc:AlternateContent></w:style></w:styles>)";
  const std::string bytes = testing::zipBytes(
      {{"[Content_Types].xml",
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
       {"styles.xml", part}});
  for (const bool lazy : {false, true}) {
    for (const NsSet understood : {NsSet::standard(), NsSet{Ns::PowerPoint2010}}) {
      OpenOptions options;
      options.understood = understood;
      Package pkg = Package::fromBytes(bytes, options);
      Part styles = pkg.part("styles.xml");
      pugi::xml_node root = lazy ? styles.lazyXml() : styles.xml();
      pugi::xml_node style = styles.expand(root.child("w:style"));
      EXPECT_EQ(childNames(root), (Names{"w:docDefaults/w:rPrDefault", "w:style/w:rPr"}));
      EXPECT_STREQ(style.child("w:rPr").first_child().name(),
                   understood.contains(Ns::PowerPoint2010) ? "w:b" : "w:i");
    }
  }
}

}  // namespace
}  // namespace bq::office
