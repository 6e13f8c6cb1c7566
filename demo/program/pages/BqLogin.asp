<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<title>岚屿克在线考试模拟试卷</title>
<link rel="stylesheet" href="bq.css">
</head>
<!-- The sign-in page. The client takes the information card number from the
     focused input while the examinee types, so the input keeps the focus and
     its value is never changed here, and nothing is submitted: the button
     only goes on to the instructions page. -->
<body>
<br>
<table class="bar" cellspacing="0" cellpadding="2">
<tr><td align="center" class="title">岚屿克在线考试模拟试卷</td></tr>
</table>
<table class="panel" cellspacing="0" cellpadding="0">
<tr><td>
<h1>考 生 登 录</h1>
<p class="center">
请输入信息卡号：<input type="text" class="text" id="card" name="card" size="12" maxlength="3" autocomplete="off" autofocus>
&nbsp;<input type="button" class="button" id="btn-confirm" value="确定" onclick="confirmCard()">
</p>
<p class="center message" id="message"></p>
<p class="center hint">演示试卷的有效信息卡号为 BQ1、BQ2、BQ3、BQ4、BQ5（不区分大小写）。<br>
输入卡号后点击“确定”，阅读考生须知后开始考试。</p>
</td></tr>
</table>
<div class="footer">岚屿克在线考试模拟系统</div>
<script>
// The client accepts a card number of exactly three characters that contains "bq".
function cardLooksValid(text) {
  var card = text.toLowerCase();
  return card.length == 3 && card.indexOf("bq") >= 0;
}

function confirmCard() {
  var input = document.getElementById("card");
  if (!cardLooksValid(input.value)) {
    document.getElementById("message").textContent = "请输入三位信息卡号，例如 BQ1。";
    input.focus();
    return;
  }
  window.open("StdKnow.asp", "_self");
}

document.getElementById("card").addEventListener("keydown", function (event) {
  if (event.key == "Enter") {
    event.preventDefault();
    confirmCard();
  }
});

window.addEventListener("load", function () {
  document.getElementById("card").focus();
});
</script>
</body>
</html>
