#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/ (run once; the seeds are
committed). Each seed is one case the program meets in use, in the layout its target reads
through libFuzzer's FuzzedDataProvider."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


class Provided:
    """An input laid out for FuzzedDataProvider, built in the order the target reads it: bytes
    (ConsumeBytes, ConsumeRemainingBytes) come off the front, integers off the back, the last byte
    first and most significant, as few bytes as the range needs."""

    def __init__(self):
        self.front = b""
        self.back = []

    def bytes(self, data):
        self.front += data
        return self

    def integral(self, value, low, high):
        span, offset = high - low, value - low
        assert 0 <= offset <= span, (value, low, high)
        length = 0
        while length < 8 and span >> (8 * length):
            length += 1
        self.back.append(offset.to_bytes(length, "little"))
        return self

    def int32(self, value):
        return self.integral(value, -2**31, 2**31 - 1)

    def uint8(self, value):
        return self.integral(value, 0, 255)

    def data(self):
        return self.front + b"".join(reversed(self.back))


# site_list: the last byte even = the bytes before it are UTF-16LE units, odd = UTF-8.
def site_list(name, text, utf8=True):
    body = text.encode("utf-8") if utf8 else text.encode("utf-16-le", "surrogatepass")
    write("site_list", name, Provided().uint8(1 if utf8 else 0).bytes(body).data())


site_list("padded_and_ideographic", "  http://a.example/  \r\n\r\n\u3000http://b.example/")
site_list("trailing_crlf", "http://a.example/\r\nhttp://b.example/\r\n")
site_list("lone_lf_and_cr", "http://a.example/\nhttp://b.example/\rx")
site_list("tab_stays", "\thttp://a.example/ ")
site_list("duplicates", "http://a.example/\r\nhttp://a.example/")
site_list("only_blanks", " \u3000 \r\n\u3000\r\n  ")
site_list("cr_before_crlf", "a\r\r\n\nb\r\n\r\n")
site_list("long_line", "http://" + "x" * 300 + ".example/")
site_list("surrogate_at_cut", "http://" + "y" * 251 + "\U0001F600" + "z" * 10, utf8=False)
site_list("lone_surrogates", "http://\ud800a.example/\r\n\udc00", utf8=False)
site_list("many_sites", ("http://s.example/\r\n" * 80) + "  ", utf8=False)
site_list("nul_inside", "http://a.example/\r\nhttp://b\x00.example/", utf8=False)
site_list("chinese", "http://例子.测试/路径\r\n\u3000http://127.0.0.1:8080/ok\u3000")


# config: the positions picked in the check-interval, retry-count and retry-interval lists (signed
# bytes; by default the file's last three bytes, read backwards), then the bytes of Config.dat.
def record(check, count, interval, notice=0, softtype=2, opaque=b"", length=240):
    data = struct.pack("<5i", check, count, interval, notice, softtype) + opaque
    data += bytes(max(0, 240 - len(data)))
    return data[:length]


def config(name, file, picks=None):
    if picks is None:
        picks = [b - 256 if b > 127 else b for b in file[-1:-4:-1]] if len(file) >= 3 else [0, 0, 0]
    seed = Provided()
    for pick in picks:
        seed.integral(pick, -128, 127)
    write("config", name, seed.bytes(file).data())


config("first_save", record(60, 3, 30))
config("every_last_entry", record(900, 1, 300, notice=17))
config("short_8_bytes", record(300, 2, 0, length=8))
config("out_of_range", record(45, 0, 0, notice=-1, softtype=7))
config("extremes", record(-2**31, 2**31 - 1, -1, notice=2**31 - 1, softtype=0))
config("opaque_pattern", record(120, 2, 60, notice=3, opaque=bytes(range(220))))
config("longer_file", record(30, 1, 10, opaque=b"\xff" * 220) + b"extra bytes after the record")
config("odd_length", record(600, 3, 120, length=13))
config("empty", b"")


# notice_reply: the size of the chunks the body arrives in (1 to 512), then the body.
def notice_reply(name, chunk, body):
    write("notice_reply", name, Provided().integral(chunk, 1, 512).bytes(body).data())


notice_reply("update", 223, b'{"update":1}')
notice_reply("notice", 223, b'{"update":0,"notice_id":7,"notice_text":"twenty chars notice!"}')
notice_reply("notice_gbk", 115, b'{"notice_id":3,"notice_text":"' + "服务器今晚维护".encode("gbk") + b'"}')
notice_reply("empty_object", 189, b"{}")
notice_reply("null_root", 78, b"null")
notice_reply("array_root", 115, b'[{"update":1}]')
notice_reply("kinds", 186, b'{"update":true,"notice_id":2.5,"notice_text":12345678,"x":[null,{"y":-1e5}]}')
notice_reply("big_numbers", 152, b'{"update":18446744073709551615,"notice_id":-2147483649,"notice_text":1e308}')
notice_reply("escapes", 4, b'{"notice_text":"\\u4f60\\u597d \\"q\\" \\\\ \\/ \\n\\t\\ud83d\\ude00"}')
notice_reply("comments", 41, b'/* c */ {"update": 1, // x\n "notice_id": 3}')
notice_reply("html", 149, b"<html><body>502 Bad Gateway</body></html>")
notice_reply("nested", 223, b'{"a":' + b"[" * 50 + b"]" * 50 + b"}")

# site_text: the bytes of site.txt (natively UTF-8 stands in for the code page).
write("site_text", "two_sites", b"http://a.example/\r\nhttp://b.example/")
write("site_text", "empty", b"")
write("site_text", "nul_inside", b"http://a.example/\x00http://hidden.example/")
write("site_text", "chinese_utf8", "http://例子.测试/\r\n\u3000http://b.example/".encode("utf-8"))
write("site_text", "gbk_bytes", "http://例子.测试/".encode("gbk"))
write("site_text", "bom_and_trailing_break", b"\xef\xbb\xbfhttp://a.example/\r\n")
write("site_text", "overlong_and_surrogate", b"\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80ok")
write("site_text", "four_byte", "\U0001F600 http://emoji.example/".encode("utf-8"))


# status: the site count (1 to 4), per site its last status, url length and url units, then
# reports of (site number u64, status i32, year, month, day, hour, minute, second).
def status(name, sites, reports):
    seed = Provided().integral(len(sites), 1, 4)
    for last, url in sites:
        units = url.encode("utf-16-le", "surrogatepass")
        seed.int32(last).integral(len(units) // 2, 0, 260).bytes(units)
    for site, code, when in reports:
        seed.integral(site, 0, 2**64 - 1).int32(code)
        for field in when:
            seed.int32(field)
    write("status", name, seed.data())


NOW = (2014, 5, 7, 9, 3, 5)
A = (200, "http://127.0.0.1/a")
B = (200, "http://127.0.0.1/b")
status("outage_and_recovery", [A, B], [(1, 200, NOW), (1, 404, NOW), (1, 200, NOW), (2, 302, NOW)])
status("network_fold", [A], [(1, 10, NOW)] * 3 + [(1, 11, NOW), (1, 200, NOW)])
status("network_back_without_outage", [A], [(1, 11, NOW)])
status("worker_end_and_unknown", [A, B], [(2, 9, NOW), (1, 0, NOW), (1, 21, NOW), (1, 22, NOW)])
status("outside_the_run", [A, B], [(0, 404, NOW), (3, 404, NOW), (2**64 - 1, 200, NOW)])
status("every_class", [A], [(1, s, NOW) for s in (100, 199, 299, 399, 499, 500, 599, 600, 999, 99, -1)])
status("full_url_field", [(404, "h" * 260)], [(1, 200, NOW)])
status("odd_time_fields", [A], [(1, 500, (-5, 0, 31, -1, 60, 99)), (1, 200, (12345, 12, 1, 0, 0, 0)),
                                (1, 404, (-2**31, 2**31 - 1, -2**31, -2**31, 7, -7))])
status("extreme_statuses", [(10, "x"), (-2**31, "")], [(2, -2**31, NOW), (2, 2**31 - 1, NOW), (1, 11, NOW)])


# probe_worker: mode byte, site number, settings (raw, or one byte each: check interval - 1 and
# retry interval - 1 mod 8, retry count mod 5); the rest is the script of answers: per pass a
# network byte and, when the pass probes, the probe's outcome byte (0 answered, 1 not opened,
# 2 no handle; +4 query succeeded), text length and UTF-16LE text. A check interval of 1 probes on
# every pass with the network up.
def probe(name, passes, mode=0, site=1, settings=(0, 3, 0)):
    script = Provided()
    for p in passes:
        if p == "down":
            script.uint8(0)
        elif p == "up":
            script.uint8(1)
        elif p in ("unreachable", "nohandle"):
            script.uint8(1).uint8(1 if p == "unreachable" else 2)
        else:
            text, query_ok = p if isinstance(p, tuple) else (p, True)
            units = text.encode("utf-16-le")
            script.uint8(1).uint8(4 if query_ok else 0).integral(len(units) // 2, 0, 25).bytes(units)
    seed = Provided().bytes(script.data()).uint8(mode).int32(site)
    if mode & 1:
        for value in settings:
            seed.int32(value)
    else:
        check, count, interval = settings
        seed.integral(1 + check % 8, 1, 8).integral(count % 5, 0, 4).integral(1 + interval % 8, 1, 8)
    write("probe_worker", name, seed.data())


probe("answers_200", ["200"] * 3)
probe("404_until_reported", ["404"] * 4 + ["200"])
probe("unreachable_then_answer", ["unreachable"] * 4 + ["200"], settings=(0, 1, 0))
probe("network_outage", ["200", "down", "down", "down", "200"])
probe("no_internet_handle", ["nohandle", "nohandle", "302"])
probe("status_texts", [" 200", "+301", "-5", ("abc", True), ("", False), "99999999999", ("600", False),
                       "1 00", "\uff12\uff10\uff10", "\t\r\n404"])
probe("huge_status_codes", ["9" * 25, "-" + "9" * 24, "0" * 24 + "1", "2147483648", "-2147483649"])
probe("exit_before_start", ["200"], mode=4)
probe("ended_by_exit_flag", ["200", "down"], mode=2)
probe("raw_settings", ["200", "404", "unreachable", "200"], mode=1, site=-1, settings=(0, -1, -2**31))
probe("long_interval", ["up"] * 7 + ["200"], settings=(7, 0, 7))


# history_rows: the number of day files (1 to 3) and the period's first day (0 to 3), then the
# files: each but the last as FuzzedDataProvider's random-length string (a backslash doubled,
# ended by a backslash and another byte), the last one the rest of the input.
def history(name, files, period_day=0):
    seed = Provided()
    for i, rows in enumerate(files):
        body = b"\xef\xbb\xbf" + "".join(row + "\r\n" for row in rows).encode("utf-8")
        seed.bytes(body if i + 1 == len(files) else body.replace(b"\\", b"\\\\") + b"\\n")
    seed.integral(len(files), 1, 3).integral(period_day, 0, 3)
    write("history_rows", name, seed.data())


history("run_with_outage", [["2026-12-1 10:00:00 软件启动", "2026-12-1 10:00:01 线程[1]启动",
                             "2026-12-1 10:00:01 监控开始运行", "2026-12-1 10:00:31 http://a/ 访问正常",
                             "2026-12-1 10:01:41 http://a/ 网页不存在", "2026-12-1 10:03:41 http://a/ 访问正常",
                             "2026-12-1 10:04:00 停止中...", "2026-12-1 10:04:01 [1]线程退出",
                             "2026-12-1 10:04:01 监控停止!"]])
history("network_and_two_days", [["2026-12-1 23:59:00 监控开始运行", "2026-12-1 23:59:30 http://a b/ 访问正常",
                                  "2026-12-1 23:59:40 本机网络断线，请检查网线是否插好"],
                                 ["2026-12-2 00:10:00 本机网络恢复正常", "未知状态",
                                  "2026-12-2 00:10:30 http://a b/ 不能访问网站，可能本机不能上网，或网站故障",
                                  "2026-12-2 00:11:30 http://a b/ 临时响应"]], period_day=1)
history("two_runs_carried", [["2026-12-1 10:00:00 监控开始运行\t~ run=W-1-1 t=0 u=1796176800 z=+480",
                               "2026-12-1 10:00:30 http://a/ 网页不存在\t~ run=W-1-1 t=30 u=1796176830 z=+480",
                               "2026-12-1 10:01:00 监控开始运行\t~ run=C-2-2 t=0 u=1796176860 z=+480",
                               "未知状态\t~ run=C-2-2 t=20 u=1796176880 z=+480"],
                              ["2026-12-1 10:00:00 监控开始运行\t~ run=W-1-1 t=0 u=1796176800 z=+480 carry",
                               "2026-12-1 10:00:30 http://a/ 网页不存在\t~ run=W-1-1 t=30 u=1796176830 z=+480 carry",
                               "2026-12-2 00:00:30 http://a/ 访问正常\t~ run=W-1-1 t=50430 u=1796227230 z=+540",
                               "2026-12-2 00:01:30 http://a/ 访问\t~ run=W-1-1 t=50490"]])
history("killed_then_restarted", [["2026-12-1 08:00:00 监控开始运行", "2026-12-1 08:00:30 http://a/ 网站服务器，内部发生错误500",
                                   "2026-12-1 09:00:00 软件启动", "2026-12-1 09:00:01 监控开始运行",
                                   "2026-12-1 09:00:31 http://b/ 当前网页300跳转",
                                   "2026-12-1 09:01:31 http://b/ http未知状态", "2026-12-1 09:02:00 http://b/ 访"]])
