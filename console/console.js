/* VF3360 fleet console: the displays' status, faces and events, and texts and commands to them,
   over MQTT 5 on the broker's WebSockets listener. Everything from the broker is untrusted: parsed
   with care, bounded, and put on the page as text only. */
(function () {
  'use strict';

  var LIMIT = 2033;
  var EVENTS_KEPT = 8;
  var MAX_PAYLOAD = 256 * 1024;
  var MAX_TEXT_BYTES = 64 * 1024;   // what a bridge takes as a text
  var MAX_FACE = 4096;              // characters of a face drawn at most
  var NAME_RE = /^[A-Za-z0-9_-]{1,64}$/;
  var FACE_W = 336, FACE_H = 24, DOT = 4;
  var MARKED = '\uFFFD';

  function $(id) { return document.getElementById(id); }
  var ui = {
    connection: $('connection'), readonly: $('readonly'), login: $('login'), loginError: $('login-error'),
    user: $('user'), password: $('password'), text: $('text'), marks: $('marks'), count: $('count'),
    targetAll: $('target-all'), targetGroup: $('target-group'), targetPicked: $('target-picked'),
    group: $('group'), picks: $('picks'), speed: $('speed'), status: $('status-line'),
    send: $('send'), clear: $('clear'), rewind: $('rewind'), autoOn: $('auto-on'), autoOff: $('auto-off'),
    displays: $('displays'), none: $('no-displays')
  };
  var sendControls = [ui.text, ui.send, ui.clear, ui.rewind, ui.autoOn, ui.autoOff, ui.speed,
                      ui.targetAll, ui.targetGroup, ui.targetPicked, ui.group];

  var client = null, credentials = null, connected = false, readOnly = false, probed = false, fromLogin = false;
  var dropped = '';                   // the reason the broker gave for ending the connection
  var clientId = 'vf3360-console-' + randomToken(8);
  var replyToken = randomToken(12);   // one per page load
  var replyTopic = '';
  var displays = new Map();           // name -> record; a card only once a status has come
  var check = { seq: 0, text: '', timer: 0, unanswered: 0, over: false };

  // ---- small helpers -------------------------------------------------------------------------

  function randomToken(n) {
    var bytes = new Uint8Array(n);
    crypto.getRandomValues(bytes);
    return Array.from(bytes, function (b) { return ('0' + b.toString(16)).slice(-2); }).join('');
  }
  function make(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }
  function short(s, n) {
    s = String(s).replace(/[\u0000-\u001f\u007f]/g, ' ');
    return s.length > n ? s.slice(0, n) + '…' : s;
  }
  function str(v, n) { return typeof v === 'string' ? short(v, n) : ''; }
  function num(v) { return typeof v === 'number' && isFinite(v) ? v : null; }
  function parseTime(v) {
    if (typeof v !== 'string' || v.length > 40) return null;
    var t = Date.parse(v);
    return isNaN(t) ? null : new Date(t);
  }
  function clock(d) { return d.toLocaleTimeString('ja-JP', { hour12: false }); }
  function dateTime(d) {
    return d.toLocaleString('ja-JP', { month: 'numeric', day: 'numeric', hour: '2-digit', minute: '2-digit',
                                       second: '2-digit', hour12: false });
  }
  function hex(code) { return '0x' + ('0' + code.toString(16).toUpperCase()).slice(-2); }
  function parseJson(payload) {
    if (!payload || payload.length > MAX_PAYLOAD) return null;
    try {
      var v = JSON.parse(new TextDecoder('utf-8').decode(payload));
      return v && typeof v === 'object' && !Array.isArray(v) ? v : null;
    } catch (e) { return null; }
  }
  function wordFor(words, key) {                  // never a property every object has ("constructor", ...)
    return typeof key === 'string' && Object.prototype.hasOwnProperty.call(words, key) ? words[key] : '';
  }
  function topicPart(s) { return String(s).replace(/[+#\/\u0000]/g, '_'); }

  // ---- the connection ------------------------------------------------------------------------

  function say(line, bad) {
    ui.connection.textContent = line;
    ui.connection.classList.toggle('bad', !!bad);
  }

  function connect() {
    var url = (location.protocol === 'https:' ? 'wss' : 'ws') + '://' + location.host + '/';
    var options = { protocolVersion: 5, clientId: clientId, reconnectPeriod: 2000, connectTimeout: 10000,
                    clean: true };
    if (credentials) {
      options.username = credentials.user;
      options.password = credentials.password;
    }
    replyTopic = 'vf3360/reply/' + topicPart(credentials ? credentials.user : clientId) + '/' + replyToken;
    say('ブローカーに接続しています…');
    client = mqtt.connect(url, options);
    var mine = client;
    client.on('connect', function () { if (mine === client) connectedNow(); });
    client.on('message', function (topic, payload, packet) { if (mine === client) arrived(topic, payload, packet); });
    client.on('error', function (err) { if (mine === client) failed(err); });
    client.on('disconnect', function (packet) {     // the broker ends the connection, with its reason
      if (mine === client) dropped = '（ブローカーの理由コード: ' + hex(packet.reasonCode || 0) + '）';
    });
    client.on('reconnect', function () { if (mine === client) say('ブローカーにつなぎ直しています…', true); });
    client.on('close', function () {
      if (mine !== client || !connected) return;
      connected = false;
      say('ブローカーとの接続が切れました' + dropped + '。つなぎ直しています…', true);
      dropped = '';
      refreshControls();
    });
  }

  function connectedNow() {
    connected = true;
    probed = false;
    say('接続しました（' + (credentials ? 'ユーザー: ' + credentials.user : '匿名') + '）');
    client.subscribe({ 'vf3360/+/status': { qos: 1 }, 'vf3360/+/event': { qos: 1 }, [replyTopic]: { qos: 1 } },
                     function (err, granted) {
                       if (err) return say('購読できませんでした: ' + short(err.message, 120), true);
                       var reply = (granted || []).find(function (g) { return g.topic === replyTopic; });
                       if (reply && reply.qos >= 128) {            // a broker that tells a denied subscription
                         ui.count.textContent = '文字数を確かめられません（応答トピックの購読を拒否されました: ' +
                                                hex(reply.qos) + '）';
                       }
                     });
    refreshControls();
    if (fromLogin && document.activeElement === document.body) ui.text.focus();   // where the hidden form's focus went
    fromLogin = false;
    if (displays.size) probe();
  }

  function failed(err) {
    if (err && (err.code === 134 || err.code === 135)) {
      var answer = '（ブローカーの応答: ' + hex(err.code) + ' ' +
                   (err.code === 134 ? 'Bad user name or password' : 'Not authorized') + '）';
      client.end(true);
      connected = false;
      say('ログインが必要です', true);
      ui.loginError.textContent = (credentials ? 'ユーザー名またはパスワードが違います' : 'ログインしてください') + answer;
      ui.login.hidden = false;
      ui.user.focus();
      refreshControls();
      return;
    }
    say('ブローカーにつながりません: ' + short(err && err.message || err, 160), true);
  }

  ui.login.addEventListener('submit', function (e) {
    e.preventDefault();
    credentials = { user: ui.user.value, password: ui.password.value };   // in memory only
    ui.password.value = '';
    ui.login.hidden = true;
    fromLogin = true;
    connect();
  });

  // The broker answers a publish it will not take with PUBACK 0x87: from then on the page only watches.
  function goReadOnly() {
    if (readOnly) return;
    readOnly = true;
    ui.readonly.textContent = 'このユーザーには送信が許可されていません（ブローカーの応答: 0x87 Not authorized）';
    ui.readonly.hidden = false;
    refreshControls();
  }

  function publish(topic, payload, options, done) {
    options.qos = 1;
    client.publish(topic, payload, options, function (err, packet) {
      var code = err ? err.code : packet && packet.reasonCode;
      if (code === 135) goReadOnly();
      if (done) done(err ? (code === 135 ? 'denied' : err) : null);
    });
  }

  function refreshControls() {
    var off = readOnly || !connected;
    sendControls.forEach(function (c) { c.disabled = off; });
    if (!off) {
      ui.send.disabled = check.over;
      ui.targetGroup.disabled = ui.group.disabled = ui.group.options.length === 0;
    }
    ui.picks.querySelectorAll('input').forEach(function (c) { c.disabled = off; });
  }

  // ---- what arrives --------------------------------------------------------------------------

  function arrived(topic, payload, packet) {
    if (topic === replyTopic) return checkAnswered(payload, packet.properties || {});
    var parts = topic.split('/');
    if (parts.length !== 3 || parts[0] !== 'vf3360' || !NAME_RE.test(parts[1])) return;
    if (parts[2] === 'status') statusArrived(parts[1], payload, packet.retain);
    else if (parts[2] === 'event') eventArrived(parts[1], payload);
  }

  function record(name) {
    var r = displays.get(name);
    if (!r) {
      r = { name: name, status: null, card: null, events: [], face: null, since: undefined };
      displays.set(name, r);
    }
    return r;
  }

  function statusArrived(name, payload, retained) {
    if (!payload || payload.length === 0) return removeDisplay(name);   // a retained status taken down
    var s = parseJson(payload);
    if (!s) return;
    var r = record(name);
    var sameState = r.status && r.status.state === s.state;
    r.status = s;
    r.since = parseTime(s.since);
    if (!r.since && s.state === 'offline') r.since = retained ? null : (sameState && r.lastSince) || new Date();
    r.lastSince = r.since;
    setFace(r, s.face);
    if (!r.card) addCard(r);
    showStatus(r);
    refreshGroups();
    if (connected && !probed) probe();
  }

  function eventArrived(name, payload) {
    var e = parseJson(payload);
    if (!e || typeof e.event !== 'string') return;
    var r = record(name);
    r.events.unshift({ time: parseTime(e.time) || new Date(), words: eventWords(e), bad: BAD_EVENTS.has(e.event) });
    r.events.length = Math.min(r.events.length, EVENTS_KEPT);
    if (r.card) showEvents(r);
  }

  var BAD_EVENTS = new Set(['refused', 'device-lost', 'denied', 'taken-over']);
  var COMMAND_WORDS = { 'clear': '表示クリア', 'rewind': '頭だし', 'auto-update on': '自動更新オン',
                        'auto-update off': '自動更新オフ' };
  function eventWords(e) {
    var n = function (v, unit) { v = num(v); return v === null ? '' : v + ' ' + unit; };
    var join = function (list) { list = list.filter(Boolean); return list.length ? '（' + list.join('、') + '）' : ''; };
    switch (e.event) {
      case 'text-sent': return '送信済み' + join([n(e.characters, '文字'), n(e.frames, 'フレーム'), n(e.ms, 'ミリ秒')]);
      case 'refused': return '拒否: ' + (str(e.why, 160) || str(e.reason, 60) || '理由不明');
      case 'device-lost': return 'デバイス喪失' + (str(e.error, 160) ? ': ' + str(e.error, 160) : '');
      case 'device-back': return 'デバイス復帰';
      case 'text-superseded': return '新しいテキストに置き換えられて未送信' + join([n(e.count, '件')]);
      case 'cue-answered': return '頭だしの合図に応答';
      case 'command': return 'コマンド: ' + (wordFor(COMMAND_WORDS, e.command) || str(e.command, 40));
      case 'speed': return '速度 ' + (num(e.speed) === null ? '?' : e.speed);
      case 'text-taken-down': return 'テキストを取り下げ';
      case 'text-unchanged': return '同じテキストのため送信なし';
      case 'text-waiting': return 'デバイス待ち';
      case 'taken-over': return 'クライアントIDが別の接続に使われた';
      case 'denied': return 'ブローカーが拒否: ' + (str(e.why, 160) || str(e.topic, 120));
      default: return short(e.event, 40);
    }
  }

  // ---- the cards -----------------------------------------------------------------------------

  function addCard(r) {
    var card = make('article', 'card');
    card.dataset.name = r.name;
    card.setAttribute('aria-label', r.name);
    var head = make('header');
    head.append(make('h3', 'name', r.name), r.groupsLine = make('p', 'groups'));
    r.stateLine = make('p', 'state');
    r.sinceLine = make('p', 'since');
    r.canvas = make('canvas', 'face');
    // Pixels only while on the screen (see `seen`); the page lays the face out by its CSS size.
    r.canvas.width = seen ? 0 : FACE_W * DOT;
    r.canvas.height = seen ? 0 : FACE_H * DOT;
    r.canvas.setAttribute('role', 'img');
    r.visible = true;
    if (seen) seen.observe(r.canvas);
    r.shownLine = make('p', 'shown');
    r.eventList = make('ul', 'events');
    r.eventList.setAttribute('aria-label', r.name + ' の最近の出来事');
    card.append(head, r.stateLine, r.sinceLine, r.canvas, r.shownLine, r.eventList);
    r.card = card;
    insertSorted(ui.displays, card, r.name, 'name');

    var pick = make('span');
    var box = make('input');
    box.type = 'checkbox';
    box.id = 'pick-' + r.name;
    box.value = r.name;
    box.disabled = readOnly || !connected;
    box.addEventListener('change', function () { if (box.checked) ui.targetPicked.checked = true; scheduleCheck(); });
    var label = make('label', '', r.name);
    label.htmlFor = box.id;
    pick.dataset.pick = r.name;
    pick.append(box, label);
    r.pick = pick;
    insertSorted(ui.picks, pick, r.name, 'pick');
    ui.none.hidden = true;
    if (r.face) faceNamed(r);
    showEvents(r);
  }

  function insertSorted(parent, node, name, key) {
    var after = Array.from(parent.children).find(function (c) { return c.dataset[key] > name; });
    parent.insertBefore(node, after || null);
  }

  function removeDisplay(name) {
    var r = displays.get(name);
    if (!r) return;
    if (r.card) {
      if (seen) seen.unobserve(r.canvas);
      r.card.remove();
      r.pick.remove();
    }
    displays.delete(name);
    ui.none.hidden = ui.displays.children.length > 0;
    refreshGroups();
  }

  function groupsOf(r) {
    var g = r.status && Array.isArray(r.status.groups) ? r.status.groups : [];
    return g.filter(function (x) { return typeof x === 'string' && NAME_RE.test(x); }).slice(0, 32);
  }

  var STATE_WORDS = { 'online': 'オンライン', 'no-device': 'デバイスなし', 'offline': 'オフライン' };
  function showStatus(r) {
    var s = r.status;
    var groups = groupsOf(r);
    r.groupsLine.textContent = groups.length ? 'グループ: ' + groups.join('、') : 'グループなし';
    var state = wordFor(STATE_WORDS, s.state) ? s.state : 'unknown';
    r.stateLine.className = 'state ' + state;
    r.stateLine.textContent = (wordFor(STATE_WORDS, state) || '状態不明') +
                              (state === 'no-device' && str(s.error, 200) ? ': ' + str(s.error, 200) : '');
    r.sinceLine.textContent = r.since ? dateTime(r.since) + ' から' : 'いつからか: 不明';
    var facts = [];
    if (str(s.device, 80)) facts.push('デバイス ' + str(s.device, 80));
    if (num(s.speed) !== null) facts.push('速度 ' + s.speed);
    if (typeof s.autoUpdate === 'boolean') facts.push('自動更新' + (s.autoUpdate ? 'オン' : 'オフ'));
    if (num(s.frames) !== null) facts.push(s.frames + ' フレーム');
    if (Array.isArray(s.unusable) && s.unusable.length) {
      facts.push('使えない文字 ' + s.unusable.slice(0, 8).map(function (u) {
        return str(u && u.character, 4) + '（' + str(u && u.codePoint, 10) + '）';
      }).join(' '));
    }
    if (typeof s.sending === 'string') facts.push('送信中: ' + short(s.sending, 40));
    if (Array.isArray(s.waiting) && s.waiting.length) facts.push('待ち ' + s.waiting.length + ' 件');
    r.shownLine.textContent = facts.join(' ・ ');
  }

  function showEvents(r) {
    r.eventList.replaceChildren.apply(r.eventList, r.events.map(function (e) {
      var li = make('li', e.bad ? 'bad' : '');
      var t = make('time', '', clock(e.time));
      t.dateTime = e.time.toISOString();
      li.append(t, make('span', '', e.words));
      return li;
    }));
  }

  function refreshGroups() {
    var all = new Set();
    displays.forEach(function (r) { if (r.card) groupsOf(r).forEach(function (g) { all.add(g); }); });
    var names = Array.from(all).sort();
    var current = Array.from(ui.group.options, function (o) { return o.value; });
    if (names.join('\n') !== current.join('\n')) {
      var keep = ui.group.value;
      ui.group.replaceChildren.apply(ui.group, names.map(function (g) {
        var o = make('option', '', g);
        o.value = g;
        return o;
      }));
      if (names.indexOf(keep) >= 0) ui.group.value = keep;
    }
    refreshControls();
  }

  // ---- the faces: the module's face drawn as lit dots, scrolling right to left ----------------

  function cellWidth(ch) {
    var c = ch.codePointAt(0);
    return (c >= 0x20 && c <= 0x7e) || (c >= 0xff61 && c <= 0xff9f) ? 12 : 24;
  }

  function setFace(r, face) {
    var text = face && typeof face.text === 'string' ? face.text : '';
    var dps = face && num(face.dotsPerSecond) > 0 && face.dotsPerSecond <= 1000 ? face.dotsPerSecond : 0;
    if (r.face && r.face.text === text && r.face.dps === dps) return;
    var cells = [], x = 0, inked = 0;
    Array.from(text).slice(0, MAX_FACE).forEach(function (ch) {
      var w = cellWidth(ch);
      cells.push({ ch: ch, x: x, w: w });
      x += w;
      if (ch !== ' ' && ch !== '\u3000') inked = x;
    });
    // As the module does it: the text comes in again once it has passed, and not before the
    // face has been dark behind its last character (a text that stops at a marked cell has
    // none of the blanks that do that for every other text).
    r.face = { text: text, dps: dps, cells: cells, width: x && Math.max(x, inked + FACE_W), start: performance.now(), drawn: null };
    if (r.card) faceNamed(r);
  }

  function faceNamed(r) {
    r.canvas.dataset.text = r.face.text;
    r.canvas.dataset.dps = String(r.face.dps);
    var words = r.face.text.split(MARKED).join('〔使えない文字〕').trim();
    r.canvas.setAttribute('aria-label', r.name + ' の表示面: ' + (words ? short(words, 200) : '空白'));
  }

  var dots = document.createElement('canvas');   // the face at one pixel a dot
  dots.width = FACE_W;
  dots.height = FACE_H;
  var dc = dots.getContext('2d', { willReadFrequently: true });
  var unlit = null;                               // the dark strip with its unlit dots, drawn once

  function unlitStrip() {
    unlit = document.createElement('canvas');
    unlit.width = FACE_W * DOT;
    unlit.height = FACE_H * DOT;
    var u = unlit.getContext('2d');
    u.fillStyle = '#05090a';
    u.fillRect(0, 0, unlit.width, unlit.height);
    u.fillStyle = '#0f1c1b';
    for (var y = 0; y < FACE_H; y++) for (var x = 0; x < FACE_W; x++) u.fillRect(x * DOT, y * DOT, DOT - 1, DOT - 1);
  }

  function drawCells(face, x0) {
    var cells = face.cells, lo = 0, hi = cells.length;
    while (lo < hi) {                             // the first cell reaching into the strip
      var mid = (lo + hi) >> 1;
      if (x0 + cells[mid].x + cells[mid].w <= 0) lo = mid + 1; else hi = mid;
    }
    for (var i = lo; i < cells.length && x0 + cells[i].x < FACE_W; i++) {
      var c = cells[i], x = x0 + c.x;
      if (c.ch === MARKED) {                      // a cell the module has no code for: a crossed box
        dc.strokeRect(x + 0.5, 0.5, c.w - 1, FACE_H - 1);
        dc.beginPath();
        dc.moveTo(x, 0); dc.lineTo(x + c.w, FACE_H);
        dc.moveTo(x + c.w, 0); dc.lineTo(x, FACE_H);
        dc.stroke();
      } else if (c.ch !== ' ' && c.ch !== '\u3000') {
        dc.fillText(c.ch, x, 21, c.w);
      }
    }
  }

  function drawFace(r, now) {
    var f = r.face;
    var moved = f.dps && f.width ? Math.floor((now - f.start) / 1000 * f.dps) : -1;
    if (moved === f.drawn) return;
    f.drawn = moved;
    dc.fillStyle = dc.strokeStyle = '#fff';
    dc.clearRect(0, 0, FACE_W, FACE_H);
    dc.font = '24px IPAGothic, "IPAゴシック", sans-serif';
    dc.textBaseline = 'alphabetic';
    dc.lineWidth = 1;
    if (moved < 0) drawCells(f, 0);               // nothing to scroll: the face stands still
    else {
      // Copy n of the text starts in at the right edge once n widths of it have gone by.
      for (var n = Math.max(0, Math.floor((moved - FACE_W) / f.width)); n * f.width < moved; n++) {
        drawCells(f, FACE_W - moved + n * f.width);
      }
    }
    var lit = dc.getImageData(0, 0, FACE_W, FACE_H).data;
    var g = r.canvas.getContext('2d');
    g.drawImage(unlit, 0, 0);
    g.fillStyle = '#6dffd9';
    for (var y = 0; y < FACE_H; y++) {
      for (var x = 0; x < FACE_W; x++) {
        if (lit[(y * FACE_W + x) * 4 + 3] > 110) g.fillRect(x * DOT, y * DOT, DOT - 1, DOT - 1);
      }
    }
  }

  // Only the faces on the screen are drawn; one scrolled into view is drawn at once at its place.
  var seen = window.IntersectionObserver && new IntersectionObserver(function (entries) {
    entries.forEach(function (e) {
      var r = displays.get(e.target.parentNode.dataset.name);
      if (!r) return;
      r.visible = e.isIntersecting;
      // A face off the screen keeps no pixels: two hundred faces at full size hold half a gigabyte.
      e.target.width = r.visible ? FACE_W * DOT : 0;
      e.target.height = r.visible ? FACE_H * DOT : 0;
      if (r.face) r.face.drawn = null;
    });
  });

  function frame(now) {
    displays.forEach(function (r) { if (r.card && r.face && r.visible) drawFace(r, now); });
    requestAnimationFrame(frame);
  }

  // ---- checking the text as it is typed (MQTT 5 request and response) -------------------------

  function chosenNames() {
    if (ui.targetGroup.checked) {
      var g = ui.group.value;
      return Array.from(displays.values()).filter(function (r) { return r.card && groupsOf(r).indexOf(g) >= 0; })
        .map(function (r) { return r.name; });
    }
    if (ui.targetPicked.checked) {
      return Array.from(ui.picks.querySelectorAll('input:checked'), function (c) { return c.value; })
        .filter(function (n) { return displays.has(n); });
    }
    return Array.from(displays.values()).filter(function (r) { return r.card; }).map(function (r) { return r.name; });
  }

  function checker() {
    var online = function (n) { var r = displays.get(n); return r && r.status && r.status.state === 'online'; };
    return chosenNames().find(online) || Array.from(displays.keys()).find(online) || null;
  }

  function correlation(seq) { return new Uint8Array([seq >>> 24, (seq >>> 16) & 255, (seq >>> 8) & 255, seq & 255]); }

  function scheduleCheck() {
    clearTimeout(check.timer);
    check.timer = setTimeout(sendCheck, 150);
  }

  function sendCheck(name) {
    if (!connected || readOnly) return;
    name = name || checker();
    if (!name) {
      ui.count.textContent = '文字数を確かめられる表示器がありません（オンラインの表示器なし）';
      return;
    }
    check.seq += 1;                               // also makes any answer still on its way a stale one
    check.text = ui.text.value;
    var bytes = new TextEncoder().encode(check.text).length;
    if (bytes > MAX_TEXT_BYTES) {                 // the bridges take no payload this large: no need to ask
      check.over = true;
      ui.count.textContent = '長すぎます（' + bytes + ' バイト、最大 ' + MAX_TEXT_BYTES + ' バイト）';
      ui.count.classList.add('over');
      ui.marks.replaceChildren();
      return refreshControls();
    }
    ui.marks.classList.add('stale');
    var seq = check.seq;
    clearTimeout(check.unanswered);
    check.unanswered = setTimeout(function () {   // no answer: the bridge will judge the text itself
      if (seq !== check.seq) return;
      check.over = false;
      ui.count.textContent = '文字数の確認に答えがありません';
      ui.count.classList.remove('over');
      refreshControls();
    }, 3000);
    publish('vf3360/' + name + '/check', check.text,
            { properties: { responseTopic: replyTopic, correlationData: correlation(check.seq) } });
  }

  function probe() {                              // may this user publish at all? ask at once
    probed = true;
    sendCheck(checker() || displays.keys().next().value);
  }

  function checkAnswered(payload, properties) {
    var c = properties.correlationData, want = correlation(check.seq);
    if (!c || c.length !== 4 || !want.every(function (b, i) { return c[i] === b; })) return;   // an older request's
    var a = parseJson(payload);
    if (!a) return;
    clearTimeout(check.unanswered);
    var chars = num(a.characters), limit = num(a.limit) || LIMIT, frames = num(a.frames);
    check.over = (typeof a.why === 'string' && a.why !== '') || (chars !== null && chars > limit);
    ui.count.textContent = (chars === null ? '—' : chars) + ' / ' + limit + ' 文字' +
                           (frames === null ? '' : '・' + frames + ' フレーム') +
                           (check.over ? ' — ' + (str(a.why, 200) || '文字数オーバー') : '');
    ui.count.classList.toggle('over', check.over);
    showMarks(check.text, Array.isArray(a.unusable) ? a.unusable : []);
    refreshControls();
  }

  function showMarks(text, unusable) {
    var parts = [], at = 0;
    unusable.slice(0, 1000).forEach(function (u) {
      var from = num(u && u.from), to = num(u && u.to);
      if (from === null || to === null || from < at || to <= from || to > text.length) return;
      if (from > at) parts.push(document.createTextNode(text.slice(at, from)));
      var m = make('mark', '', text.slice(from, to));
      m.title = '使えない文字 ' + str(u.codePoint, 10);
      parts.push(m);
      at = to;
    });
    parts.push(document.createTextNode(text.slice(at)));
    ui.marks.replaceChildren.apply(ui.marks, parts);
    ui.marks.classList.remove('stale');
  }

  // ---- sending -------------------------------------------------------------------------------

  function targets() {
    if (ui.targetGroup.checked) {
      if (!ui.group.value) return { why: 'グループを選んでください' };
      return { bases: ['vf3360/group/' + ui.group.value], told: 'グループ「' + ui.group.value + '」' };
    }
    var names = chosenNames();
    if (!names.length) return { why: ui.targetPicked.checked ? '表示器を選んでください' : '表示器がありません' };
    return { bases: names.map(function (n) { return 'vf3360/' + n; }), told: names.length + ' 台' };
  }

  function sendAll(what, messages, told) {
    var left = messages.length, failures = [];
    messages.forEach(function (m) {
      publish(m[0], m[1], {}, function (err) {
        if (err) failures.push(err === 'denied' ? '許可されていません（0x87）' : short(err.message || err, 80));
        if (--left) return;
        ui.status.textContent = failures.length ? what + 'できませんでした: ' + failures[0]
                                                : what + 'しました: ' + told;
      });
    });
  }

  function sendText() {
    if (ui.send.disabled) return;
    var t = targets(), text = ui.text.value;
    if (!text) t = { why: 'テキストが空です' };
    if (t.why) { ui.status.textContent = '送信しませんでした: ' + t.why; return; }
    var messages = [];
    t.bases.forEach(function (b) { messages.push([b + '/speed', ui.speed.value], [b + '/text', text]); });
    sendAll('送信', messages, t.told);
  }

  function sendCommand(command, words) {
    var t = targets();
    if (t.why) { ui.status.textContent = words + 'を送りませんでした: ' + t.why; return; }
    sendAll(words + 'を送信', t.bases.map(function (b) { return [b + '/command', command]; }), t.told);
  }

  ui.send.addEventListener('click', sendText);
  ui.text.addEventListener('keydown', function (e) {
    if (e.key === 'Enter' && (e.ctrlKey || e.metaKey)) { e.preventDefault(); sendText(); }
  });
  ui.text.addEventListener('input', scheduleCheck);
  [ui.targetAll, ui.targetGroup, ui.targetPicked, ui.group].forEach(function (c) {
    c.addEventListener('change', scheduleCheck);
  });
  [[ui.clear, 'clear', '表示クリア'], [ui.rewind, 'rewind', '頭だし'], [ui.autoOn, 'auto-update on', '自動更新オン'],
   [ui.autoOff, 'auto-update off', '自動更新オフ']].forEach(function (b) {
    b[0].addEventListener('click', function () { sendCommand(b[1], b[2]); });
  });

  unlitStrip();
  refreshControls();
  requestAnimationFrame(frame);
  connect();
})();
