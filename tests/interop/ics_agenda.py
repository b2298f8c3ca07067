#!/usr/bin/env python3
"""Reads an exported calendar with the python icalendar package, checks what
RFC 5545 asks of it, and prints the appointments of the given days the way
the day list shows them: "YYYY-MM-DD [hh:mm] (category) title".

usage: ics_agenda.py FILE.ics YYYY-MM-DD...
"""
import datetime
import sys

import icalendar


def fail(message):
    print("ics_agenda: " + message, file=sys.stderr)
    sys.exit(1)


def text(value):
    return "" if value is None else str(value)


def categories(event):
    value = event.get("categories")
    if value is None:
        return ""
    values = value if isinstance(value, list) else [value]
    names = []
    for v in values:
        names.extend(str(c) for c in getattr(v, "cats", [v]))
    return ",".join(names)


def main():
    path, days = sys.argv[1], [datetime.date.fromisoformat(d) for d in sys.argv[2:]]
    raw = open(path, "rb").read()
    try:
        raw.decode("utf-8")
    except UnicodeDecodeError as e:
        fail("not UTF-8: %s" % e)
    lines = raw.split(b"\r\n")
    if lines[-1] != b"" or any(b"\n" in l or b"\r" in l for l in lines):
        fail("lines must end in CR LF")
    if any(len(l) > 75 for l in lines):
        fail("a line is longer than 75 octets")

    calendar = icalendar.Calendar.from_ical(raw)
    for key in ("VERSION", "PRODID"):
        if key not in calendar:
            fail("the calendar has no " + key)
    uids = set()
    rows = {day: [] for day in days}
    events = calendar.walk("VEVENT")
    for index, event in enumerate(events):
        for key in ("UID", "DTSTAMP", "DTSTART", "DTEND"):
            if key not in event:
                fail("event %d has no %s" % (index, key))
        start = event.get("dtstart").dt
        if not isinstance(start, datetime.datetime) or start.tzinfo is not None:
            fail("event %d does not start at a floating local time" % index)
        uids.add(text(event.get("uid")))
        if start.date() in rows:
            visible = "[%02d:%02d] (%s) %s" % (start.hour, start.minute, categories(event), text(event.get("summary")))
            # In the C locale the tests run in, the day list sorts its rows' whole
            # texts, key included, by UTF-16 code units.
            key = visible + " " * 100 + "%07d" % index
            rows[start.date()].append((key.encode("utf-16-be"), visible))
    todos = calendar.walk("VTODO")
    for index, todo in enumerate(todos):
        for key in ("UID", "DTSTAMP", "STATUS"):
            if key not in todo:
                fail("to-do %d has no %s" % (index, key))
        if text(todo.get("status")) not in ("NEEDS-ACTION", "COMPLETED"):
            fail("to-do %d has the status %s" % (index, todo.get("status")))
        uids.add(text(todo.get("uid")))
    if len(uids) != len(events) + len(todos):
        fail("UIDs are not unique")
    for day in days:
        for _, visible in sorted(rows[day]):
            print("%s %s" % (day.isoformat(), visible))
    print("ics_agenda: %d events, %d to-dos" % (len(events), len(todos)), file=sys.stderr)


main()
