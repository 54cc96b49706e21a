// The game site: the guest entry page the launcher shows, a demo game, the signed guest-login
// endpoint and the pay page. link.php checks the sign independently of the launcher's code.
#include <httplib.h>
#include <iconv.h>
#include <openssl/evp.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "platform.h"
#include "report_layout.h"
#include "routes.h"

namespace fernlite::devplatform {
namespace {

// Shared with the launcher; hashed as text.
constexpr char kLinkSignKey[] = "5be0a9c41f7d26e8930b4acd17e25f68";

std::string Md5Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr)) return {};
  std::string out;
  char hex[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", digest[i]);
    out += hex;
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Strict percent-decoding: "%XX" only, a plus sign stays a plus sign.
std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// The same text in GBK, the ANSI code page of Chinese Windows, which such clients sign with;
// nullopt when the text has characters GBK lacks.
std::optional<std::string> Utf8ToGbk(const std::string& utf8) {
  iconv_t converter = iconv_open("GBK", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in = utf8;
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in_pointer = in.data();
  size_t in_left = in.size();
  char* out_pointer = out.data();
  size_t out_left = out.size();
  const size_t result = iconv(converter, &in_pointer, &in_left, &out_pointer, &out_left);
  iconv_close(converter);
  if (result == static_cast<size_t>(-1) || in_left != 0) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

std::string RawQuery(const httplib::Request& request) {
  const size_t question = request.target.find('?');
  return question == std::string::npos ? "" : request.target.substr(question + 1);
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

bool WantsHtml(const httplib::Request& request) {
  return request.get_header_value("Accept").find("text/html") != std::string::npos;
}

constexpr char kStyle[] = R"CSS(
:root { --ink:#f3ead7; --gold:#e8c27a; --jade:#4fb39b; --night:#0f1622; --panel:rgba(14,22,34,.78); }
* { box-sizing:border-box; }
html, body { margin:0; height:100%; font-family:"Noto Sans CJK SC","Microsoft YaHei","PingFang SC",sans-serif; color:var(--ink); }
body { background:radial-gradient(ellipse at 30% 10%,#3a5a78 0%,#1b2a3f 45%,#0b111b 100%); overflow:hidden; }
.mist { position:fixed; inset:0; background:
  linear-gradient(180deg,rgba(255,255,255,0) 55%,rgba(9,14,22,.95) 100%),
  radial-gradient(ellipse at 75% 85%,rgba(79,179,155,.25),transparent 60%),
  repeating-linear-gradient(160deg,rgba(255,255,255,.025) 0 2px,transparent 2px 9px); pointer-events:none; }
.peaks { position:fixed; left:0; right:0; bottom:0; height:48%; background:
  linear-gradient(135deg,transparent 49.5%,#13202f 50%) 0 100%/38% 70% no-repeat,
  linear-gradient(225deg,transparent 49.5%,#13202f 50%) 38% 100%/30% 60% no-repeat,
  linear-gradient(135deg,transparent 49.5%,#0d1722 50%) 52% 100%/30% 85% no-repeat,
  linear-gradient(225deg,transparent 49.5%,#0d1722 50%) 100% 100%/40% 75% no-repeat; }
.wrap { position:relative; max-width:920px; margin:0 auto; padding:28px 32px; height:100%; overflow:auto; }
/* The page scrolls inside itself (the launcher shows no scroll bars); a thin gold thumb fits the art. */
.wrap::-webkit-scrollbar { width:6px; } .wrap::-webkit-scrollbar-track { background:transparent; }
.wrap::-webkit-scrollbar-thumb { background:rgba(232,194,122,.35); border-radius:3px; }
header { display:flex; align-items:center; gap:18px; }
.seal { width:54px; height:54px; border-radius:12px; background:linear-gradient(145deg,#c2412d,#7d1d14);
  display:grid; place-items:center; font-size:26px; font-weight:700; box-shadow:0 6px 18px rgba(0,0,0,.45); }
h1 { margin:0; font-size:34px; letter-spacing:6px; color:var(--gold); text-shadow:0 2px 12px rgba(232,194,122,.35); }
.sub { margin:2px 0 0; font-size:13px; opacity:.7; letter-spacing:2px; }
.panel { background:var(--panel); border:1px solid rgba(232,194,122,.25); border-radius:14px;
  padding:18px 20px; margin-top:18px; backdrop-filter:blur(6px); box-shadow:0 10px 30px rgba(0,0,0,.35); }
.panel h2 { margin:0 0 12px; font-size:15px; color:var(--gold); letter-spacing:3px; font-weight:600; }
.servers { display:grid; grid-template-columns:repeat(auto-fill,minmax(190px,1fr)); gap:10px; }
.server { padding:12px 14px; border-radius:10px; background:rgba(255,255,255,.05); border:1px solid rgba(255,255,255,.08);
  cursor:pointer; transition:.15s; }
.server:hover, .server.picked { border-color:var(--gold); background:rgba(232,194,122,.12); }
.server b { display:block; font-size:15px; } .server small { opacity:.65; }
.dot { display:inline-block; width:8px; height:8px; border-radius:50%; margin-right:6px; background:var(--jade); }
.dot.busy { background:#e0a93c; } .dot.full { background:#d2553f; }
.actions { display:flex; flex-wrap:wrap; gap:12px; margin-top:16px; align-items:center; }
button, .btn { font:inherit; border:0; border-radius:10px; padding:11px 22px; cursor:pointer; color:#1b1408;
  background:linear-gradient(180deg,#f6d999,#d7a955); font-weight:700; letter-spacing:2px;
  box-shadow:0 4px 0 #8f6a2b, 0 8px 18px rgba(0,0,0,.35); text-decoration:none; }
button.ghost { background:rgba(255,255,255,.08); color:var(--ink); box-shadow:none; border:1px solid rgba(255,255,255,.15); font-weight:500; }
button.big { font-size:18px; padding:14px 36px; }
button:active { transform:translateY(2px); box-shadow:0 2px 0 #8f6a2b; }
.note { font-size:12px; opacity:.7; margin-top:10px; line-height:1.6; }
.status { font-size:13px; margin-top:12px; min-height:20px; color:var(--jade); }
.status.warn { color:#e6a15a; }
table { width:100%; border-collapse:collapse; font-size:13px; }
td { padding:6px 8px; border-bottom:1px solid rgba(255,255,255,.07); vertical-align:top; word-break:break-all; }
td:first-child { width:120px; color:var(--gold); opacity:.85; }
)CSS";

std::string Page(std::string_view title, std::string_view body, std::string_view script = "") {
  std::string page = "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">";
  page += "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"><title>";
  page += HtmlEscape(title);
  page += "</title><style>";
  page += kStyle;
  page +=
      "</style></head><body><div class=\"mist\"></div><div class=\"peaks\"></div><div "
      "class=\"wrap\">";
  page += body;
  page += "</div>";
  if (!script.empty()) {
    page += "<script>";
    page += script;
    page += "</script>";
  }
  page += "</body></html>\n";
  return page;
}

constexpr char kEntryBody[] = R"HTML(
<header><div class="seal">岚</div><div><h1>岚岫奇谭</h1><p class="sub">云岫之间 · 仙踪奇谭 · 游客通道</p></div></header>
<div class="panel">
  <h2>选择服务器</h2>
  <div class="servers" id="servers"></div>
  <div class="actions">
    <button class="big" id="play-guest">游客进入</button>
    <button id="play-named">以角色进入</button>
    <button class="ghost" id="play-quick">全屏快速开始</button>
    <button class="ghost" id="keep-guest">保留游客身份</button>
    <button class="ghost" id="favorite">收藏本页</button>
  </div>
  <div class="status" id="status"></div>
  <p class="note" id="remembered"></p>
</div>
<div class="panel">
  <h2>客户端信息</h2>
  <table><tbody id="facts"></tbody></table>
</div>
)HTML";

constexpr char kEntryScript[] = R"JS(
(function () {
  var q = new URLSearchParams(location.search);
  var ext = window.external;
  var bridge = ext && typeof ext.NavigateToGameUrl === 'function';
  var servers = [
    {id: '1', name: '一区 · 云岫初开', load: ''}, {id: '2', name: '二区 · 雾隐青峦', load: 'busy'},
    {id: '3', name: '三区 · 星落寒潭', load: ''}, {id: '4', name: '四区 · 松风问剑', load: 'full'}];
  var picked = servers[0];
  var status = document.getElementById('status');
  function say(text, warn) { status.textContent = text; status.className = warn ? 'status warn' : 'status'; }
  function fact(k, v) {
    var tr = document.createElement('tr');
    tr.innerHTML = '<td></td><td></td>';
    tr.cells[0].textContent = k; tr.cells[1].textContent = v;
    document.getElementById('facts').appendChild(tr);
  }
  var saved = {};
  var stored = bridge ? ext.ReadUserDataFromFile() : (q.get('info') || '');
  stored.split(';').forEach(function (p) { var i = p.indexOf('='); if (i > 0) saved[p.slice(0, i)] = p.slice(i + 1); });
  servers.forEach(function (s) {
    if (saved.server === s.id) picked = s;
    var el = document.createElement('div');
    el.className = 'server';
    el.innerHTML = '<b></b><small><span class="dot ' + s.load + '"></span>' +
      (s.load === 'full' ? '爆满' : s.load === 'busy' ? '繁忙' : '流畅') + '</small>';
    el.firstChild.textContent = s.name;
    el.onclick = function () { picked = s; render(); };
    s.el = el;
    document.getElementById('servers').appendChild(el);
  });
  function render() { servers.forEach(function (s) { s.el.classList.toggle('picked', s === picked); }); }
  render();
  var puid = q.get('puid') || '';
  var guestId = 'G-' + (puid.slice(0, 8) || 'anon');
  var nickname = saved.name && saved.name !== 'gst' ? saved.name : '云游客' + guestId.slice(-3);
  var userinfo = 'uid=' + guestId + '&nick=' + nickname + '&src=' + (q.get('cid') || '');
  var extText = 'gid=' + (q.get('gid') || '') + '&channel=' + (q.get('cid') || '') + '.' + (q.get('ccid') || '');
  if (saved.server) document.getElementById('remembered').textContent =
      '上次登录：' + picked.name + (saved.name ? '（' + saved.name + '）' : '');
  var channel = '—';
  if (bridge) { try { channel = ext.GetChannelID(); } catch (e) { channel = '客户端未提供（' + e.message + '）'; } }
  fact('游客编号', guestId); fact('渠道', (q.get('cid') || '') + ' / ' + (q.get('ccid') || ''));
  fact('客户端渠道接口', channel); fact('设备', puid || '—'); fact('存档', stored || '（空）');
  if (!bridge) say('请在岚岫奇谭客户端中打开本页，以游客身份进入游戏。', true);
  function gameUrl() { return location.origin + '/game/?sid=' + picked.id + '&gid=' + (q.get('gid') || ''); }
  function remember(name) { ext.WriteUserDataToFile('server=' + picked.id + ';name=' + name); }
  function guard(f) { return function () { if (!bridge) { say('需要客户端才能进入游戏。', true); return; } try { f(); } catch (e) { say('出错了：' + e.message, true); } }; }
  document.getElementById('play-guest').onclick = guard(function () {
    ext.SetUserInfo(extText, userinfo); remember('gst');
    say('正在进入 ' + picked.name + ' …');
    ext.NavigateToGameUrlEx('gst', gameUrl(), 0, 1000, 640, '岚岫奇谭 - ' + picked.name, 0);
  });
  document.getElementById('play-named').onclick = guard(function () {
    ext.SetUserInfo(extText, userinfo); remember(nickname);
    ext.NavigateToGameUrl2(picked.id, nickname, gameUrl(), 0, 1100, 700, '岚岫奇谭 - ' + nickname, 0);
  });
  document.getElementById('play-quick').onclick = guard(function () {
    ext.SetUserInfo(extText, userinfo);
    ext.NavigateToGameUrl(gameUrl(), true, 1000, 640, '岚岫奇谭', 0);
  });
  document.getElementById('keep-guest').onclick = guard(function () {
    ext.SetGuestInfo(extText); say('游客身份已保留。');
  });
  document.getElementById('favorite').onclick = guard(function () {
    ext.addFavorite(location.href, '岚岫奇谭'); say('已加入收藏。');
  });
})();
)JS";

constexpr char kGameBody[] = R"HTML(
<header><div class="seal">岚</div><div><h1 id="title">岚岫奇谭</h1><p class="sub" id="where"></p></div></header>
<div class="panel">
  <h2>江湖近况</h2>
  <table><tbody>
    <tr><td>境界</td><td id="level"></td></tr>
    <tr><td>灵石</td><td id="stones"></td></tr>
    <tr><td>存档</td><td id="save"></td></tr>
  </tbody></table>
  <div class="actions">
    <button id="train">闭关修炼</button>
    <button class="ghost" id="pay">灵石充值</button>
    <a class="btn" href="/guest/notice.html" target="_blank">查看公告</a>
    <button class="ghost" id="forum">论坛</button>
  </div>
  <p class="note">公告、充值与论坛会在系统浏览器中打开，并自动带上游客登录。</p>
</div>
)HTML";

constexpr char kGameScript[] = R"JS(
(function () {
  var q = new URLSearchParams(location.search);
  var ext = window.external;
  var bridge = ext && typeof ext.ReadUserDataFromFile === 'function';
  var sid = q.get('sid') || '1';
  document.getElementById('where').textContent = '第 ' + sid + ' 区';
  var data = {};
  var stored = bridge ? ext.ReadUserDataFromFile() : '';
  stored.split(';').forEach(function (p) { var i = p.indexOf('='); if (i > 0) data[p.slice(0, i)] = p.slice(i + 1); });
  var level = parseInt(data.level || '1', 10);
  var ranks = ['炼气', '筑基', '金丹', '元婴', '化神', '渡劫'];
  function show() {
    document.getElementById('level').textContent = ranks[Math.min(level - 1, ranks.length - 1)] + ' · 第 ' + level + ' 重';
    document.getElementById('stones').textContent = String(level * 120);
    document.getElementById('save').textContent = bridge ? ext.ReadUserDataFromFile() : '（浏览器中无存档）';
  }
  show();
  document.getElementById('train').onclick = function () {
    level += 1; data.level = String(level); data.server = sid;
    var text = Object.keys(data).map(function (k) { return k + '=' + data[k]; }).join(';');
    if (bridge) ext.WriteUserDataToFile(text);
    show();
  };
  document.getElementById('pay').onclick = function () {
    window.open(location.origin + '/pay/?gid=' + (q.get('gid') || 'qmzt') + '&sid=' + sid, '_blank');
  };
  document.getElementById('forum').onclick = function () { window.open(location.origin + '/guest/notice.html#forum'); };
})();
)JS";

void LinkRoute(Platform& platform, const httplib::Request& request, httplib::Response& response) {
  QueryFields decoded;
  bool well_formed = true;
  std::string userinfo, time, sign;
  for (const auto& [key, raw] : SplitQuery(RawQuery(request))) {
    const std::optional<std::string> value = PercentDecode(raw);
    if (!value) well_formed = false;
    decoded.emplace_back(key, value.value_or(raw));
    if (key == "userinfo") userinfo = value.value_or("");
    if (key == "time") time = raw;
    if (key == "sign") sign = raw;
  }
  // Clients sign the text in their ANSI code page: plain UTF-8 (Linux, or text the code page
  // cannot hold) or GBK from a Chinese Windows.
  std::string encoding;
  if (userinfo.empty()) {
    if (sign.empty()) encoding = "none";
  } else if (sign == Md5Hex(userinfo + time + kLinkSignKey)) {
    encoding = "utf-8";
  } else if (const auto gbk = Utf8ToGbk(userinfo);
             gbk && sign == Md5Hex(*gbk + time + kLinkSignKey)) {
    encoding = "gbk";
  }
  const bool accepted = well_formed && !time.empty() && !encoding.empty();
  platform.AddLogField("fields", JsonStringObject(decoded));
  platform.AddLogField("sign_ok", accepted ? "true" : "false");
  if (accepted) platform.AddLogField("sign_encoding", JsonString(encoding));
  response.status = accepted ? 200 : 403;
  if (!WantsHtml(request)) {
    response.set_content(accepted ? JsonStringObject(decoded) : "{\"error\":\"bad sign\"}",
                         "application/json");
    return;
  }
  std::string body = "<header><div class=\"seal\">岚</div><div><h1>";
  body += accepted ? "游客登录成功" : "登录校验失败";
  body += "</h1><p class=\"sub\">岚岫奇谭 · 通行证</p></div></header><div class=\"panel\"><h2>";
  body += accepted ? "即将前往" : "签名不正确，请从客户端重新打开";
  body += "</h2><table><tbody>";
  for (const auto& [key, value] : decoded) {
    body += "<tr><td>" + HtmlEscape(key) + "</td><td>" + HtmlEscape(value) + "</td></tr>";
  }
  body += "</tbody></table></div>";
  response.set_content(Page("岚岫奇谭 - 通行证", body), "text/html; charset=utf-8");
}

void PayRoute(const httplib::Request& request, httplib::Response& response) {
  std::string gid = request.get_param_value("gid");
  std::string sid = request.get_param_value("sid");
  std::string body =
      R"HTML(<header><div class="seal">岚</div><div><h1>灵石充值</h1><p class="sub">)HTML";
  body += "游戏 " + HtmlEscape(gid) + " · " +
          (sid.empty() ? std::string("未选择区服") : "第 " + HtmlEscape(sid) + " 区");
  body += R"HTML(</p></div></header>
<div class="panel"><h2>选择档位</h2><div class="servers">
  <div class="server"><b>60 灵石</b><small>¥6</small></div>
  <div class="server"><b>300 灵石</b><small>¥30 · 赠 30</small></div>
  <div class="server"><b>980 灵石</b><small>¥98 · 赠 120</small></div>
  <div class="server"><b>1980 灵石</b><small>¥198 · 赠 300</small></div>
</div><div class="actions"><button>立即支付</button></div>
<p class="note">开发平台：不会产生真实扣款。</p></div>)HTML";
  response.set_content(Page("岚岫奇谭 - 充值", body), "text/html; charset=utf-8");
}

}  // namespace

void RegisterGuestRoutes(httplib::Server& server, Platform& platform) {
  server.Get("/guest/c1/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(Page("岚岫奇谭", kEntryBody, kEntryScript), "text/html; charset=utf-8");
  });
  server.Get("/game/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(Page("岚岫奇谭", kGameBody, kGameScript), "text/html; charset=utf-8");
  });
  server.Get("/guest/notice.html", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(
        Page(
            "岚岫奇谭 - 公告",
            "<header><div class=\"seal\">岚</div><div><h1>版本公告</h1><p class=\"sub\">"
            "云岫新篇 · 开服活动</p></div></header><div class=\"panel\"><h2>开服七日礼</h2>"
            "<p class=\"note\">每日登录领取灵石与坐骑碎片，第七日可得限定坐骑「青鸾」。</p></div>"),
        "text/html; charset=utf-8");
  });
  server.Get("/guest/link.php",
             [&platform](const httplib::Request& request, httplib::Response& response) {
               LinkRoute(platform, request, response);
             });
  server.Get("/pay/", [](const httplib::Request& request, httplib::Response& response) {
    PayRoute(request, response);
  });
}

}  // namespace fernlite::devplatform
