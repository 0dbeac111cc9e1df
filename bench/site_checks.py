#!/usr/bin/env python3
# The checks of bench/site_checks.sh on sites it has generated; prints the table.
#   site_checks.py make-records DB N        a database of N made-up records
#   site_checks.py make-records DB obsolete  records whose answers hold obsolete presentational markup
#   site_checks.py check --style S --checkers DIR --work DIR --sites "..." [--shots DIR] [--no-lighthouse]
import argparse, gzip, html.parser, http.server, json, os, random, socket, sqlite3, subprocess, sys, threading, time
import mimetypes, urllib.parse, urllib.request
from functools import partial

TEXT = ("ご注文の変更は、発送準備に入る前であればマイページの注文履歴から行えます。"
        "パスワードを忘れた場合は、ログイン画面の「パスワードを忘れた方」からメールアドレスを入力して下さい。"
        "ＡＢＣ会員の特典として、送料無料と誕生日クーポンがあります。返品は商品到着後8日以内にご連絡下さい。")

QUERY = "ページ"  # found on every site checked: the sample's and the made-up ones


def make_records(db, n):
    r = random.Random(25)
    if os.path.exists(db):
        os.remove(db)
    con = sqlite3.connect(db)
    con.execute("CREATE TABLE tbl1 (No INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT, quest TEXT, anser TEXT)")
    con.execute("CREATE INDEX idx1 ON tbl1 (quest)")
    kinds = [f"sub{k:03d},種類{k}について" for k in range(24)]
    rows = []
    for i in range(n):
        start = r.randrange(len(TEXT) - 60)
        quest = f"{i + 1}件目：" + TEXT[start:start + r.randrange(12, 40)] + "？"
        parts = [TEXT[r.randrange(60):][:r.randrange(40, 120)] for _ in range(r.randrange(1, 4))]
        anser = "<br>\r\n".join(parts)
        if i % 7 == 0:
            anser = "<b>ご案内</b><br>\r\n" + anser
        rows.append((kinds[r.randrange(len(kinds))], quest, anser))
    con.executemany("INSERT INTO tbl1 (kind, quest, anser) VALUES (?,?,?)", rows)
    con.commit()


# Answers as old pages wrote them: each must still give a valid modern page (8 records, so
# every one is among the record pages checked).
OBSOLETE = [
    '<font color=red size=+1 face="ＭＳ ゴシック">赤い字</font>と<center>中央</center><tt>等幅</tt><big>大</big>',
    '<table border=1 cellpadding=4 cellspacing=0 width=80% bgcolor=#eeeeff align=center><tr bgcolor=yellow>'
    '<td align=right valign=top nowrap width=30>右</td><td height=20>下</td></tr></table>',
    '<p align=justify>段落</p><div align=RIGHT>右寄せ</div><h3 align=center>見出し</h3><br clear=all>',
    '<img src="x.png" align=left border=0 hspace=4 vspace=2 alt="図">図の右に<hr size=2 width=50% noshade color=gray align=left>',
    '<ul type=square compact><li type=circle>一</ul><dir><li>二</dir><a name=top>上へ</a><a href="#top">戻る</a>',
    '<font color="red;background:url(x)" face="a;}b">危ない値</font><table width="1px;x" border=x><tr><td>c</table>',
    '<marquee>流れる</marquee><blink>点滅</blink><xmp>a<b>c</xmp><listing>x</listing><strike>取消</strike><acronym>略</acronym>',
    '<u>下線</u><s>取消</s><small>小</small><nobr>改行しない</nobr><font size=7>最大</font><basefont size=3>'
    '<applet>代わり</applet><noframes>枠</noframes><img src="y.png" name=pic><script type="text/javascript">1</script>',
]


def make_obsolete(db):
    if os.path.exists(db):
        os.remove(db)
    con = sqlite3.connect(db)
    con.execute("CREATE TABLE tbl1 (No INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT, quest TEXT, anser TEXT)")
    con.execute("CREATE INDEX idx1 ON tbl1 (quest)")
    con.executemany("INSERT INTO tbl1 (kind, quest, anser) VALUES (?,?,?)",
                    [("old,古い書き方", f"{i + 1}件目：古い書き方の答え", a) for i, a in enumerate(OBSOLETE)])
    con.commit()


class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links, self.sheets = [], []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "a" and a.get("href"):
            self.links.append(a["href"])
        if tag == "link" and "stylesheet" in (a.get("rel") or "").split() and a.get("href"):
            self.sheets.append(a["href"])


def links(path):
    p = Links()
    p.feed(open(path, "rb").read().decode("utf-8", "replace"))
    return p


def local_html(site, href, exclude):
    href = href.split("#")[0].split("?")[0]
    if not href.endswith(".html") or "/" in href or ":" in href or href in exclude:
        return None
    return href if os.path.isfile(os.path.join(site, href)) else None


def page_types(site):
    """The pages of each type: the index, kind pages, record pages and the search page."""
    pages = {"index": ["index.html"]}
    search = ["search.html"] if os.path.isfile(os.path.join(site, "search.html")) else []
    top = {"index.html", "search.html"}
    kinds = [h for h in dict.fromkeys(local_html(site, x, top) for x in links(os.path.join(site, "index.html")).links) if h]
    pages["kind"] = kinds
    records = []
    for k in kinds:
        for x in links(os.path.join(site, k)).links:
            h = local_html(site, x, top | set(kinds))
            if h and h not in records:
                records.append(h)
    pages["record"] = records
    if search:
        pages["search"] = search
    return pages


def sample(items, n):
    if len(items) <= n:
        return items
    step = (len(items) - 1) / (n - 1)
    return [items[round(i * step)] for i in range(n)]


def page_size(site, page):
    """Raw and gzip bytes of a page with the style sheets it links."""
    files = [page] + [s.split("?")[0] for s in links(os.path.join(site, page)).sheets if "/" not in s and ":" not in s]
    raw = gz = 0
    for f in files:
        path = os.path.join(site, f)
        if os.path.isfile(path):
            data = open(path, "rb").read()
            raw += len(data)
            gz += len(gzip.compress(data, 9))
    return raw, gz


class Handler(http.server.SimpleHTTPRequestHandler):
    """Serves a site; with `charset`, every text type says charset=utf-8, as many hosts do."""
    charset = False

    def guess_type(self, path):
        kind = super().guess_type(path)
        if self.charset and kind.startswith(("text/", "application/javascript", "application/json", "image/svg")):
            return kind + "; charset=utf-8"
        return kind

    def log_message(self, *args):
        pass


def serve(site, charset):
    handler = type("H", (Handler,), {"charset": charset})
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), partial(handler, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_address[1]}/"


CHROME_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync"]


class Nu:
    """The Nu HTML Checker as a web service on 127.0.0.1; pages are posted to it with the
    Content-Type a host that sends no charset gives them (it will not fetch from 127.0.0.1)."""

    def __init__(self, checkers):
        jar = os.path.join(checkers, "node_modules", "vnu-jar", "build", "dist", "vnu.jar")
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        self.proc = subprocess.Popen(["java", "-Xss16m", f"-Dnu.validator.servlet.bind-address=127.0.0.1",
                                      "-cp", jar, "nu.validator.servlet.Main", str(self.port)],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(240):
            try:
                urllib.request.urlopen(f"http://127.0.0.1:{self.port}/", timeout=2).read()
                return
            except OSError:
                time.sleep(0.5)
        raise SystemExit("the Nu HTML Checker did not start")

    def check(self, site, page, notes):
        body = open(os.path.join(site, page), "rb").read()
        kind = mimetypes.guess_type(page)[0] or "text/html"
        req = urllib.request.Request(f"http://127.0.0.1:{self.port}/?out=json", data=body,
                                     headers={"Content-Type": kind})
        messages = json.load(urllib.request.urlopen(req, timeout=120))["messages"]
        errors = warnings = 0
        for m in messages:
            if m["type"] in ("error", "non-document-error"):
                errors += 1
            elif m.get("subType") == "warning":
                warnings += 1
            else:
                continue
            note = m.get("message", "")[:100]
            notes[note] = notes.get(note, 0) + 1
        return errors, warnings

    def close(self):
        self.proc.terminate()
        self.proc.wait()


def lighthouse(checkers, url, preset, work):
    cli = os.path.join(checkers, "node_modules", "lighthouse", "cli", "index.js")
    profile = subprocess.run(["mktemp", "-d", os.path.join(work, "lh.XXXX")], capture_output=True, text=True).stdout.strip()
    out = os.path.join(profile, "report.json")
    cmd = ["node", cli, url, "--quiet", "--output=json", f"--output-path={out}",
           "--only-categories=performance,accessibility,best-practices,seo",
           "--chrome-flags=" + " ".join(CHROME_FLAGS + [f"--user-data-dir={profile}/profile"])]
    if preset == "desktop":
        cmd.append("--preset=desktop")
    subprocess.run(cmd, env=dict(os.environ, CHROME_PATH="/usr/bin/chromium"), capture_output=True)
    try:
        cats = json.load(open(out))["categories"]
    except (OSError, ValueError, KeyError):
        return "failed"
    score = lambda c: "-" if cats.get(c, {}).get("score") is None else str(round(cats[c]["score"] * 100))
    return "/".join(score(c) for c in ("performance", "accessibility", "best-practices", "seo"))


def check(a):
    here = os.path.dirname(os.path.abspath(__file__))
    rows, details = [], []
    nu = Nu(a.checkers)
    for s in a.sites.split():
        site = os.path.join(a.work, f"site-{s}")
        types = page_types(site)
        plain, plain_url = serve(site, False)
        utf8, utf8_url = serve(site, True)
        # Nu: the index, some kind pages, some record pages, the search page.
        chosen = {t: sample(p, {"index": 1, "kind": 3, "record": 8, "search": 1}[t]) for t, p in types.items()}
        notes = {}
        counts = {p: nu.check(site, p, notes) for t in chosen for p in chosen[t]}
        for note, times in sorted(notes.items(), key=lambda x: -x[1]):
            details.append(f"  {s}: Nu ×{times}: {note}")
        # The browser's checks: one page of each type.
        one = {t: p[0] for t, p in types.items() if p}
        # The search page as a reader finds it after a search: with results, marks and all.
        browse = {t: p + ("?q=" + urllib.parse.quote(QUERY) if t == "search" else "") for t, p in one.items()}
        job = {"pages": browse, "plain": plain_url, "utf8": utf8_url, "shots": a.shots if s == a.sites.split()[0] else "",
               "style": a.style, "flags": CHROME_FLAGS, "work": a.work}
        out = subprocess.run(["node", os.path.join(here, "site_checks.cjs"), a.checkers, json.dumps(job)],
                             capture_output=True, text=True)
        if out.returncode != 0:
            sys.stderr.write(out.stderr)
            raise SystemExit(f"the browser's checks failed on the {s} site")
        browser = json.loads(out.stdout)
        largest = max(types["record"], key=lambda p: os.path.getsize(os.path.join(site, p)))
        raw, gz = page_size(site, largest)
        for t, page in one.items():
            errors = sum(counts[p][0] for p in chosen[t])
            warnings = sum(counts[p][1] for p in chosen[t])
            b = browser[t]
            lh = {p: (lighthouse(a.checkers, plain_url + browse[t], p, a.work) if a.lighthouse else "skipped")
                  for p in ("mobile", "desktop")}
            rows.append([s, t, f"{errors}/{warnings}", str(len(chosen[t])), str(b["violations"]),
                         "yes" if b["bypass"] else "no", lh["mobile"], lh["desktop"], "same" if b["same"] else "DIFFERS",
                         f"{raw / 1024:.1f}/{gz / 1024:.1f}" if t == "record" else ""])
            for rule, where in b["rules"].items():
                details.append(f"  {s} {t}: axe {rule} ({', '.join(where)}) at {b.get('where', {}).get(rule, '?')}")
        plain.shutdown()
        utf8.shutdown()
    nu.close()
    head = ["site", "page", "Nu err/warn", "pages", "axe rules", "bypass?", "LH mobile P/A/BP/SEO",
            "LH desktop P/A/BP/SEO", "utf-8 host", "record KB raw/gz"]
    print(f"style: {a.style}")
    width = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    for r in [head] + rows:
        print("  ".join(c.ljust(w) for c, w in zip(r, width)).rstrip())
    print("axe rules: rules violated in any of 390x844/1280x800 x light/dark; bypass?: 'bypass' incomplete;")
    print("Nu: errors/warnings summed over the sampled pages; record KB: the largest record page with its CSS")
    if details:
        print("details:")
        print("\n".join(dict.fromkeys(details)))


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "make-records":
        if sys.argv[3] == "obsolete":
            make_obsolete(sys.argv[2])
        else:
            make_records(sys.argv[2], int(sys.argv[3]))
        return
    p = argparse.ArgumentParser()
    p.add_argument("command")
    p.add_argument("--style", required=True)
    p.add_argument("--checkers", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--sites", required=True)
    p.add_argument("--shots", default="")
    p.add_argument("--no-lighthouse", dest="lighthouse", action="store_false")
    check(p.parse_args())


if __name__ == "__main__":
    main()
