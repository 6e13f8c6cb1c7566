<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<title>选择题型</title>
<link rel="stylesheet" href="bq.css">
<style>
table.sections { margin: 0 auto; border-spacing: 18px 14px; }
table.sections input.button { width: 150px; padding: 6px 0; }
</style>
</head>
<!-- The section choice. The functions carry the names of the section-switch
     functions of the generated pages, and the client writes each section page
     as the browser asks for it. -->
<body>
<br>
<table class="bar" cellspacing="0" cellpadding="2">
<tr><td align="center" class="title">岚屿克在线考试模拟试卷</td></tr>
</table>
<table class="panel" cellspacing="0" cellpadding="0">
<tr><td>
<h1>请 选 择 题 型</h1>
<p class="center hint">考试时间从进入选择题开始计算；各题型可以反复进入，顺序不限。</p>
<table class="sections">
<tr>
<td><input type="button" class="button" id="btn-selection" value="选择题" onclick="loadselection()"></td>
<td><input type="button" class="button" id="btn-judgement" value="判断题" onclick="loadjudgement()"></td>
<td><input type="button" class="button" id="btn-typewrite" value="中文录入" onclick="loadtypewrite()"></td>
</tr>
<tr>
<td><input type="button" class="button" id="btn-operation" value="计算机操作" onclick="loadoperation()"></td>
<td><input type="button" class="button" id="btn-wordtest" value="WORD编辑" onclick="loadwordtest()"></td>
<td><input type="button" class="button" id="btn-wordtable" value="WORD制表" onclick="loadwordtable()"></td>
</tr>
<tr>
<td><input type="button" class="button" id="btn-exceltest" value="EXCEL操作" onclick="loadexceltest()"></td>
<td><input type="button" class="button" id="btn-e_mail" value="EMAIL操作" onclick="loade_mail()"></td>
<td><input type="button" class="button" id="btn-powerpoint" value="课件制作" onclick="loadpowerpoint()"></td>
</tr>
</table>
<p class="center"><img src="images/hand.gif" alt="" align="absmiddle">&nbsp;请点击上面的按钮进入相应的题型。</p>
</td></tr>
</table>
<div class="footer">岚屿克在线考试模拟系统</div>
<script>
function loadselection() {
  window.open("selection.asp", "_self");
}
function loadjudgement() {
  window.open("judgement.asp", "_self");
}
function loadtypewrite() {
  window.open("typewrite.asp", "_self");
}
function loadoperation() {
  window.open("operation.asp", "_self");
}
function loadwordtest() {
  window.open("wordtest.asp", "_self");
}
function loadwordtable() {
  window.open("wordtable.asp", "_self");
}
function loadexceltest() {
  window.open("excel.asp", "_self");
}
function loade_mail() {
  window.open("e_mail.asp", "_self");
}
function loadpowerpoint() {
  window.open("powerpoint.asp", "_self");
}
</script>
</body>
</html>
