<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<title>考试时间到</title>
<link rel="stylesheet" href="bq.css">
</head>
<!-- The time-up page: the operation pages open it when the exam time has run out. -->
<body>
<br>
<table class="bar" cellspacing="0" cellpadding="2">
<tr><td align="center" class="title">岚屿克在线考试模拟试卷</td></tr>
</table>
<table class="panel" cellspacing="0" cellpadding="0">
<tr><td>
<h1>考 试 时 间 到</h1>
<p class="center">本次考试的150分钟已经用完，考试自动结束，不能再继续答题。</p>
<p class="center">感谢您参加岚屿克在线考试模拟！请关闭本窗口。</p>
</td></tr>
</table>
<div class="footer">岚屿克在线考试模拟系统</div>
</body>
</html>
