<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<title>考生须知</title>
<link rel="stylesheet" href="bq.css">
</head>
<!-- The instructions page. The client prepares the exam files as soon as this
     page has loaded. -->
<body>
<br>
<table class="bar" cellspacing="0" cellpadding="2">
<tr><td align="center" class="title">岚屿克在线考试模拟试卷</td></tr>
</table>
<table class="panel" cellspacing="0" cellpadding="0">
<tr><td>
<h1>考 生 须 知</h1>
<p>一、本试卷考试时间为<span class="notice">150分钟</span>，从进入选择题开始计时，页面上方显示剩余时间。请合理安排时间，时间到后请立即停止答题。</p>
<p>二、试卷由选择题、判断题、中文录入和操作题（计算机操作、WORD编辑、WORD制表、EXCEL操作、EMAIL操作、课件制作）组成。可以点击页面上方的题型按钮在各部分之间切换，答题顺序不限。</p>
<p>三、中文录入题限时<span class="notice">10分钟</span>，录入时间单独计算，时间用完后录入区将不再显示。</p>
<p>四、答题过程中所作的答案都会保留，切换到其他题型后再返回，可以继续修改。</p>
<p>五、做操作题时，请先点击题目下方的“<span class="notice">请点击打开</span>”按钮，系统将打开该题的文档（或文件夹、电子邮件页面），并显示试题内容窗口。按题目要求完成操作后，请保存文档并关闭相应程序。</p>
<p>六、全部题目完成后，点击页面上方的“<span class="notice">交卷[结束考试]</span>”按钮交卷。交卷后不能再修改答案。</p>
<p class="center"><br><img src="images/hand.gif" alt="" align="absmiddle">&nbsp;
<input type="button" class="button" id="btn-begin" value="开始考试" onclick="window.open('Begin.asp','_self')"></p>
</td></tr>
</table>
<div class="footer">岚屿克在线考试模拟系统</div>
</body>
</html>
