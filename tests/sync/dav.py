#!/usr/bin/env python3
"""What the sync tests ask of a CalDAV server, through an independent client.

    dav.py mkcalendar URL USER NAME COMPONENTS   COMPONENTS: VEVENT,VTODO or "-" for no set
    dav.py hrefs URL USER                        the hrefs of a Depth 1 PROPFIND, as sent
    dav.py serve PORT                            a server that answers wrongly on purpose
    dav.py put URL USER FILE                     stores FILE at URL, as a phone would
    dav.py delete URL USER                       deletes the entry at URL
    dav.py dump URL USER                         the collection's entries as JSON, read with python3-icalendar
    dav.py proxy PORT UPSTREAM RULES LOG         passes requests on, failing those RULES (a JSON file) names
"""
import json
import re
import sys
import threading
import time
import xml.etree.ElementTree as ET
from http.server import BaseHTTPRequestHandler, HTTPServer, ThreadingHTTPServer
from xml.sax.saxutils import escape

import requests

TIMEOUT = 10


def mkcalendar(url, user, name, components):
    comps = ""
    if components != "-":
        comps = "<C:supported-calendar-component-set>%s</C:supported-calendar-component-set>" % "".join(
            '<C:comp name="%s"/>' % c for c in components.split(","))
    body = ('<?xml version="1.0" encoding="utf-8"?>'
            '<C:mkcalendar xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:caldav"><D:set><D:prop>'
            "<D:displayname>%s</D:displayname>%s</D:prop></D:set></C:mkcalendar>" % (escape(name), comps))
    auth = (user, "") if user else None
    # The account's own collection comes into being on its first request.
    requests.request("PROPFIND", url.rsplit("/", 2)[0] + "/", auth=auth, headers={"Depth": "0"}, timeout=TIMEOUT)
    r = requests.request("MKCALENDAR", url, data=body.encode(), auth=auth,
                         headers={"Content-Type": "application/xml"}, timeout=TIMEOUT)
    if r.status_code != 201:
        sys.exit("MKCALENDAR %s: %s %s" % (url, r.status_code, r.text[:200]))


def hrefs(url, user):
    auth = (user, "") if user else None
    r = requests.request("PROPFIND", url, auth=auth, headers={"Depth": "1"}, timeout=TIMEOUT)
    if r.status_code != 207:
        sys.exit("PROPFIND %s: %s" % (url, r.status_code))
    for response in ET.fromstring(r.content).findall("{DAV:}response"):
        print(response.find("{DAV:}href").text)


def auth_for(user):
    return (user, "") if user else None


def put(url, user, path):
    with open(path, "rb") as f:
        body = f.read()
    r = requests.put(url, data=body, auth=auth_for(user), headers={"Content-Type": "text/calendar"}, timeout=TIMEOUT)
    if r.status_code not in (200, 201, 204):
        sys.exit("PUT %s: %s %s" % (url, r.status_code, r.text[:200]))
    print(r.headers.get("ETag", ""))


def delete(url, user):
    r = requests.delete(url, auth=auth_for(user), timeout=TIMEOUT)
    if r.status_code not in (200, 204):
        sys.exit("DELETE %s: %s" % (url, r.status_code))


def text(value):
    if value is None:
        return None
    if isinstance(value, list):
        return [text(v) for v in value]
    if hasattr(value, "cats"):
        return [str(c) for c in value.cats]
    if hasattr(value, "dt"):
        return value.dt.isoformat()
    return str(value)


def dump(url, user):
    """Every entry of the collection, fetched one by one with GET."""
    from icalendar import Calendar
    r = requests.request("PROPFIND", url, auth=auth_for(user), headers={"Depth": "1"}, timeout=TIMEOUT)
    if r.status_code != 207:
        sys.exit("PROPFIND %s: %s" % (url, r.status_code))
    base = url.split("/", 3)
    origin = "/".join(base[:3])
    out = []
    for response in ET.fromstring(r.content).findall("{DAV:}response"):
        href = response.find("{DAV:}href").text
        if href.endswith("/"):
            continue
        g = requests.get(origin + href if href.startswith("/") else href, auth=auth_for(user), timeout=TIMEOUT)
        if g.status_code != 200:
            sys.exit("GET %s: %s" % (href, g.status_code))
        cal = Calendar.from_ical(g.content)
        for c in cal.walk():
            if c.name not in ("VEVENT", "VTODO"):
                continue
            entry = {"href": href, "kind": c.name, "raw": g.content.decode("utf-8")}
            for key in ("UID", "SUMMARY", "DESCRIPTION", "CATEGORIES", "DTSTART", "DTEND", "STATUS", "RRULE",
                        "RECURRENCE-ID", "COMPLETED"):
                if key in c:
                    entry[key] = text(c.get(key)) if key != "RRULE" else c.get(key).to_ical().decode()
            entry["VALARM"] = len([a for a in c.walk() if a.name == "VALARM"])
            out.append(entry)
    out.sort(key=lambda e: (e["kind"], e.get("SUMMARY", ""), e["href"]))
    print(json.dumps(out, indent=1))


def proxy(port, upstream, rules_path, log_path):
    """Passes each request on to UPSTREAM. RULES is read afresh for each
    request: a list of {"method", "path" (a regular expression), "skip" (how
    many matching requests pass first), "times" (how many then fail, -1 for
    all), "action"}, where action is "status:N" (answer N, not passing it on),
    "after:N" (pass it on, then answer N), "drop" (close the connection),
    "weak-etag" or "no-etag" (pass it on, change the ETag of the answer),
    "multistatus:N" (answer 207 with an inner status N, not passing it on),
    "same-uid:U" (pass it on with the body's first UID made U)."""
    seen = {}
    lock = threading.Lock()

    def rule_for(method, path):
        try:
            with open(rules_path) as f:
                rules = json.load(f)
        except (OSError, ValueError):
            rules = []
        with lock:
            for i, rule in enumerate(rules):
                if rule.get("method", method) != method or not re.search(rule.get("path", ""), path):
                    continue
                key = json.dumps(rule, sort_keys=True)
                n = seen.get(key, 0)
                seen[key] = n + 1
                skip, times = rule.get("skip", 0), rule.get("times", 1)
                if n >= skip and (times < 0 or n < skip + times):
                    return rule["action"]
        return None

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log(self, status):
            with lock, open(log_path, "a") as f:
                f.write("%s %s if-match=%s if-none-match=%s -> %s\n" % (
                    self.command, self.path, self.headers.get("If-Match", "-"),
                    self.headers.get("If-None-Match", "-"), status))

        def answer(self, status, headers, body):
            self.send_response(status)
            for k, v in headers.items():
                if k.lower() not in ("content-length", "transfer-encoding", "connection", "content-encoding"):
                    self.send_header(k, v)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def handle_any(self):
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length) if length else b""
            action = rule_for(self.command, self.path)
            if action == "drop":
                self.log("dropped")
                self.close_connection = True
                self.connection.shutdown(2)
                return
            if action and action.startswith("multistatus:"):
                status = int(action.split(":")[1])
                self.log("207/%s" % status)
                self.answer(207, {"Content-Type": "application/xml; charset=utf-8"},
                            ('<?xml version="1.0" encoding="utf-8"?><d:multistatus xmlns:d="DAV:"><d:response>'
                             "<d:href>%s</d:href><d:status>HTTP/1.1 %d Failed</d:status></d:response>"
                             "</d:multistatus>" % (self.path, status)).encode())
                return
            if action and action.startswith("same-uid:"):
                body = re.sub(rb"UID:[^\r\n]*", b"UID:" + action.split(":", 1)[1].encode(), body, count=1)
            if action and action.startswith("status:"):
                status = int(action.split(":")[1])
                self.log(status)
                self.answer(status, {}, b"")
                return
            headers = {k: v for k, v in self.headers.items() if k.lower() not in ("host", "content-length",
                                                                                    "connection")}
            r = requests.request(self.command, upstream + self.path, data=body, headers=headers, timeout=TIMEOUT,
                                 allow_redirects=False)
            out = {k: v for k, v in r.headers.items()}
            if action == "weak-etag" and "ETag" in out:
                out["ETag"] = "W/" + out["ETag"]
            if action == "no-etag":
                out.pop("ETag", None)
            if action and action.startswith("after:"):
                status = int(action.split(":")[1])
                self.log("%s (was %s)" % (status, r.status_code))
                self.answer(status, {}, b"")
                return
            self.log(r.status_code)
            self.answer(r.status_code, out, r.content)

        do_GET = do_PUT = do_DELETE = do_PROPFIND = do_REPORT = do_MKCALENDAR = do_OPTIONS = handle_any

        def log_message(self, *args):
            pass

    ThreadingHTTPServer(("127.0.0.1", int(port)), Handler).serve_forever()


# Path -> (status, headers, body) for the answers no sound server gives.
WRONG = {
    "/scheme/": (301, {"Location": "https://127.0.0.1:{port}/"}, b""),
    "/loop/": (302, {"Location": "/loop/"}, b""),
    # Another server would be sent the user's credentials.
    "/elsewhere/": (301, {"Location": "http://127.0.0.2:{port}/"}, b""),
    "/nowhere/": (301, {}, b""),
    "/plain/": (200, {"Content-Type": "text/html"}, b"<html><body>fine</body></html>"),
    "/broken/": (207, {"Content-Type": "application/xml"},
                 b'<d:multistatus xmlns:d="DAV:"><d:response><d:href>/broken/</d:href>'),
    "/notdav/": (207, {"Content-Type": "application/xml"}, b"<multistatus><response/></multistatus>"),
    # The calendar type comes in a propstat the server itself marks as failed.
    "/refused/": (207, {"Content-Type": "application/xml"},
                  b'<d:multistatus xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav"><d:response>'
                  b"<d:href>/refused/</d:href><d:propstat><d:prop><d:resourcetype><d:collection/><c:calendar/>"
                  b"</d:resourcetype></d:prop><d:status>HTTP/1.1 404 Not Found</d:status></d:propstat>"
                  b"</d:response></d:multistatus>"),
}


def serve(port):
    class Handler(BaseHTTPRequestHandler):
        def do_PROPFIND(self):
            length = int(self.headers.get("Content-Length") or 0)
            self.rfile.read(length)
            status, headers, body = WRONG.get(self.path, (404, {}, b""))
            self.send_response(status)
            for k, v in headers.items():
                self.send_header(k, v.replace("{port}", str(port)))
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    HTTPServer(("127.0.0.1", int(port)), Handler).serve_forever()


if __name__ == "__main__":
    if sys.argv[1] == "mkcalendar":
        mkcalendar(*sys.argv[2:6])
    elif sys.argv[1] == "serve":
        serve(sys.argv[2])
    elif sys.argv[1] == "hrefs":
        hrefs(*sys.argv[2:4])
    elif sys.argv[1] == "put":
        put(*sys.argv[2:5])
    elif sys.argv[1] == "delete":
        delete(*sys.argv[2:4])
    elif sys.argv[1] == "dump":
        dump(*sys.argv[2:4])
    elif sys.argv[1] == "proxy":
        proxy(*sys.argv[2:6])
    else:
        sys.exit(__doc__)
