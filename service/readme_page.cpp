// The page the tool's hyperlink opens (http://127.0.0.1:8925/readme.html):
// what the tool does, what this service is and how to run it, in Chinese and
// in English.
#include "speech_server.h"

namespace speech {

std::string ReadmePage() {
    return R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>普通话语音合成工具 / Mandarin speech tool</title>
<style>
body { font-family: sans-serif; max-width: 46em; margin: 1em auto; padding: 0 1em; line-height: 1.5; }
code, pre { background: #f3f3f3; }
pre { padding: 0.5em; overflow-x: auto; }
table { border-collapse: collapse; }
td, th { border: 1px solid #ccc; padding: 0.2em 0.5em; text-align: left; vertical-align: top; }
</style>
</head>
<body>
<h1>普通话语音合成工具</h1>
<p lang="en">English text follows the Chinese: <a href="#en">Mandarin speech tool</a>.</p>

<h2>工具</h2>
<p>在编辑框中输入中文（可夹杂数字和英文），按“语音合成”，程序把生成的 MP3
保存到程序目录下的“音频文件”文件夹；“播放”播放它，“另存为”把它保存到别处。
勾选“自动保存音频文件”时每次合成都会保存一份。</p>

<h2>本地语音服务</h2>
<p>本页由 <code>speech-service</code> 提供。它是随工具附带、在本机运行的语音服务，
不需要连接互联网。中文用 eSpeak NG 的普通话（拼音）语音朗读，英文单词用英语语音朗读，
全大写的缩写（如 USB）逐个字母朗读；数字读成中文：10000 读作“一万”，3.14 读作“三点一四”，
50% 读作“百分之五十”，2026年 读作“二零二六年”，2026-12-08 读作“二零二六年十二月八日”，
12:30 读作“十二点三十分”，11 位电话号码逐位朗读，-5 读作“负五”。
音频用 LAME 编码为 MP3（单声道，22,050 Hz，48 kbit/s），保存在大小有限的缓存目录中，
最久未用的文件先被删除。</p>

<h3>地址</h3>
<ul>
<li><code>GET /bin/makeColorPlusGuest.jsp?sex=201&amp;speed=0&amp;ment=文字</code>：文字为
UTF-8，百分号编码。回答是一页 HTML，其中给出生成的 MP3 的地址。<code>sex</code>：201 默认语音，
202 女声，203 低沉男声，204 高音女声。<code>speed</code>：-5（慢）到 5（快），0 为正常。</li>
<li><code>GET /audio/KEY.mp3</code>：合成好的音频；同样的文字、语音和语速总是同一个 KEY。</li>
<li><code>GET /healthz</code>：服务正常时回答 <code>ok</code>；缓存无法写入时回答 503 和原因。</li>
<li><code>GET /readme.html</code>：本页。</li>
</ul>

<h3>启动选项</h3>
<table>
<tr><th>选项</th><th>说明</th></tr>
<tr><td><code>--listen 地址:端口</code></td><td>监听地址，默认 <code>127.0.0.1:8925</code>；端口 0 表示任选空闲端口。</td></tr>
<tr><td><code>--public-url URL</code></td><td>页面中 MP3 地址的开头，例如 <code>http://192.168.1.5:8925</code>；用于端口转发或容器中。默认为客户端连接到的地址。</td></tr>
<tr><td><code>--cache 目录</code></td><td>缓存目录，默认 <code>$XDG_CACHE_HOME/speech-service</code> 或 <code>~/.cache/speech-service</code>。</td></tr>
<tr><td><code>--cache-max 大小</code></td><td>缓存上限（字节，可加 K、M、G），默认 256M。</td></tr>
<tr><td><code>--max-text 字节</code></td><td>一次最多接受的文字（UTF-8 字节），默认 4096。</td></tr>
<tr><td><code>--max-connections N</code></td><td>同时服务的连接数上限，默认 4000。</td></tr>
<tr><td><code>--max-waiting N</code></td><td>超过上限时排队等待的连接数上限，各客户端轮流入场，默认 1024。</td></tr>
<tr><td><code>--request-timeout 秒</code></td><td>客户端发送请求头的时限，也是连接上最长的静默时间，默认 10 秒。</td></tr>
<tr><td><code>--quiet</code></td><td>不逐条记录请求。</td></tr>
<tr><td><code>--version</code>、<code>--help</code></td><td>显示版本或用法。</td></tr>
</table>
<p>收到 SIGTERM 或 SIGINT 时停止接受新连接，正在合成的文字完成并回答后退出（10 秒内）。
也可以作为 systemd 服务运行（见 <code>service/speech-service.service</code>）。</p>

<hr>
<h1 id="en" lang="en">Mandarin speech tool</h1>
<div lang="en">
<h2>The tool</h2>
<p>Type Chinese text (numbers and English words may be mixed in) into the edit box and press
“语音合成” (synthesise): the tool stores the MP3 it gets in the folder “音频文件” beside the
program; “播放” plays it and “另存为” saves a copy elsewhere. With “自动保存音频文件” checked,
every synthesis is kept.</p>

<h2>The local speech service</h2>
<p>This page comes from <code>speech-service</code>, the speech service that ships with the
tool and runs on this machine, so synthesis works without internet access. Chinese is read by
eSpeak NG's Mandarin (pinyin) voice, English words by an English voice, all-capital
abbreviations such as USB letter by letter, and numbers as Chinese words: 10000 as 一万,
3.14 as 三点一四, 50% as 百分之五十, 2026年 digit by digit, dates, times, 11-digit phone
numbers digit by digit, and negative numbers with 负. LAME encodes the audio as MP3 (mono,
22,050 Hz, 48 kbit/s). Files are kept in a cache directory of limited size; the least
recently used go first.</p>

<h3>Addresses</h3>
<ul>
<li><code>GET /bin/makeColorPlusGuest.jsp?sex=201&amp;speed=0&amp;ment=TEXT</code>: TEXT is
UTF-8, percent-encoded. The answer is an HTML page naming the MP3 it made.
<code>sex</code>: 201 default voice, 202 female, 203 lower male, 204 higher female.
<code>speed</code>: -5 (slow) to 5 (fast), 0 normal.</li>
<li><code>GET /audio/KEY.mp3</code>: a synthesised file; the same text, voice and speed always
give the same KEY.</li>
<li><code>GET /healthz</code>: <code>ok</code> while the service is well; 503 with the reason
while the cache cannot be written.</li>
<li><code>GET /readme.html</code>: this page.</li>
</ul>

<h3>Options</h3>
<table>
<tr><th>option</th><th>meaning</th></tr>
<tr><td><code>--listen HOST:PORT</code></td><td>address to serve on, default <code>127.0.0.1:8925</code>; port 0 picks a free one.</td></tr>
<tr><td><code>--public-url URL</code></td><td>start of the MP3 address in pages, e.g. <code>http://192.168.1.5:8925</code>, for port forwarding or containers. Default: the address the client connected to.</td></tr>
<tr><td><code>--cache DIR</code></td><td>cache directory, default <code>$XDG_CACHE_HOME/speech-service</code> or <code>~/.cache/speech-service</code>.</td></tr>
<tr><td><code>--cache-max SIZE</code></td><td>cache size cap in bytes (K, M, G suffixes), default 256M.</td></tr>
<tr><td><code>--max-text BYTES</code></td><td>longest text accepted, in bytes of UTF-8, default 4096.</td></tr>
<tr><td><code>--max-connections N</code></td><td>most connections served at once, default 4000.</td></tr>
<tr><td><code>--max-waiting N</code></td><td>most connections waiting for a slot over that cap, let in by turns across clients, default 1024.</td></tr>
<tr><td><code>--request-timeout SECONDS</code></td><td>time a client has to send a request head, and the longest silence on a connection, default 10.</td></tr>
<tr><td><code>--quiet</code></td><td>no per-request log lines.</td></tr>
<tr><td><code>--version</code>, <code>--help</code></td><td>version or usage.</td></tr>
</table>
<p>On SIGTERM or SIGINT it stops accepting connections, lets texts being synthesised finish
and be answered, and exits within 10 seconds. It can run as a systemd service
(<code>service/speech-service.service</code>).</p>
</div>
</body>
</html>
)";
}

} // namespace speech
