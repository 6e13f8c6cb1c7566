<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<title>岚屿克电子邮件 - 写信</title>
<link rel="stylesheet" href="bq.css">
<style>
table.mail { width: 100%; border-collapse: collapse; }
table.mail > tbody > tr > td { vertical-align: top; }
table.mail td.folders { width: 120px; border-right: 1px solid #6E8ADE; padding-right: 10px; line-height: 220%; }
table.mail td.folders div.current { background-color: #6E8ADE; color: #FFFFFF; padding-left: 6px; }
table.mail td.folders div { padding-left: 6px; }
table.mail td.compose { padding-left: 18px; }
table.fields { width: 100%; border-collapse: collapse; }
table.fields th { width: 72px; white-space: nowrap; text-align: right; font-weight: normal; padding: 4px 8px 4px 0; vertical-align: top; }
table.fields td { padding: 4px 0; }
table.fields input.text, table.fields textarea.text { width: 95%; }
div.sent { border: 1px solid #6E8ADE; background-color: #FFFFFF; padding: 8px 12px; margin-top: 10px; display: none; }
</style>
</head>
<!-- The e-mail practice page that the e-mail question opens in a browser of
     its own: a web mailbox look-alike. Sending goes nowhere; the page only
     confirms it. -->
<body>
<br>
<table class="bar" cellspacing="0" cellpadding="2">
<tr><td class="title">岚屿克电子邮件</td><td align="right">当前用户：模拟考生</td></tr>
</table>
<table class="panel" cellspacing="0" cellpadding="0">
<tr><td>
<table class="mail"><tr>
<td class="folders">
<div class="current">写 信</div>
<div>收件箱</div>
<div>发件箱</div>
<div>草稿箱</div>
<div>已删除</div>
</td>
<td class="compose">
<table class="fields">
<tr><th>收件人：</th><td><input type="text" class="text" id="to" name="to" autofocus></td></tr>
<tr><th>抄&nbsp;&nbsp;送：</th><td><input type="text" class="text" id="cc" name="cc"></td></tr>
<tr><th>主&nbsp;&nbsp;题：</th><td><input type="text" class="text" id="subject" name="subject"></td></tr>
<tr><th>附&nbsp;&nbsp;件：</th><td><input type="file" id="attachment" name="attachment"></td></tr>
<tr><th>正&nbsp;&nbsp;文：</th><td><textarea class="text" id="body" name="body" rows="12"></textarea></td></tr>
<tr><th></th><td>
<input type="button" class="button" id="btn-send" value="发送" onclick="sendMail()">&nbsp;
<input type="button" class="button" id="btn-clear" value="重写" onclick="clearMail()">
<span class="message" id="message"></span>
</td></tr>
</table>
<div class="sent" id="sent"></div>
</td>
</tr></table>
</td></tr>
</table>
<div class="footer">岚屿克在线考试模拟系统</div>
<script>
function field(id) {
  return document.getElementById(id);
}

// Each address of a list separated by "," or ";" must look like name@host.
function addressesLookValid(list, required) {
  var parts = list.split(/[,;，；]/);
  var count = 0;
  for (var i = 0; i < parts.length; i++) {
    var address = parts[i].trim();
    if (address == "") continue;
    if (!/^[^@\s]+@[^@\s]+\.[^@\s]+$/.test(address)) return false;
    count++;
  }
  return count > 0 || !required;
}

function sendMail() {
  var message = field("message");
  message.textContent = "";
  if (!addressesLookValid(field("to").value, true)) {
    message.textContent = "请填写正确的收件人地址。";
    field("to").focus();
    return;
  }
  if (!addressesLookValid(field("cc").value, false)) {
    message.textContent = "抄送地址不正确。";
    field("cc").focus();
    return;
  }
  var sent = field("sent");
  sent.textContent = "";
  var lines = ["邮件已发送。", "收件人：" + field("to").value.trim()];
  if (field("cc").value.trim() != "") lines.push("抄送：" + field("cc").value.trim());
  lines.push("主题：" + (field("subject").value.trim() == "" ? "（无主题）" : field("subject").value.trim()));
  var files = field("attachment").files;
  if (files && files.length > 0) lines.push("附件：" + files[0].name);
  for (var i = 0; i < lines.length; i++) {
    var line = document.createElement("div");
    line.textContent = lines[i];
    if (i == 0) line.className = "notice";
    sent.appendChild(line);
  }
  sent.style.display = "block";
}

function clearMail() {
  var ids = ["to", "cc", "subject", "attachment", "body"];
  for (var i = 0; i < ids.length; i++) field(ids[i]).value = "";
  field("message").textContent = "";
  field("sent").style.display = "none";
  field("to").focus();
}
</script>
</body>
</html>
