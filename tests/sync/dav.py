#!/usr/bin/env python3
"""What the sync tests ask of a CalDAV server, through an independent client.

    dav.py mkcalendar URL USER NAME COMPONENTS   COMPONENTS: VEVENT,VTODO or "-" for no set
    dav.py hrefs URL USER                        the hrefs of a Depth 1 PROPFIND, as sent
    dav.py serve PORT                            a server that answers wrongly on purpose
"""
import sys
import xml.etree.ElementTree as ET
from http.server import BaseHTTPRequestHandler, HTTPServer
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
    else:
        sys.exit(__doc__)
