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


def split_text_list(value):
    """The values of a list of TEXT values as RFC 5545 reads them: a comma
    after a backslash is part of a value, a bare one separates two. (The
    package's own reading unescapes first and so splits at both.)"""
    values, current, escaped = [], "", False
    for c in value:
        if escaped:
            current += {"n": "\n", "N": "\n"}.get(c, c)
            escaped = False
        elif c == "\\":
            escaped = True
        elif c == ",":
            values.append(current)
            current = ""
        else:
            current += c
    values.append(current)
    return values


def name_and_value(line):
    """A content line's name and its value as written, escapes kept: the
    value starts after the first colon outside a quoted parameter."""
    quoted = False
    for i, c in enumerate(line):
        if c == '"':
            quoted = not quoted
        elif c == ":" and not quoted:
            return line[:i].split(";", 1)[0].upper(), line[i + 1:]
    fail("a content line has no value: %r" % line)


def raw_categories(raw):
    """The categories of each VEVENT in turn, from its unfolded content lines."""
    events, inside = [], False
    for line in icalendar.parser.Contentlines.from_ical(raw.decode("utf-8")):
        if not line:
            continue
        name, value = name_and_value(str(line))
        if name == "BEGIN" and value.upper() == "VEVENT":
            events.append([])
            inside = True
        elif name == "END" and value.upper() == "VEVENT":
            inside = False
        elif inside and name == "CATEGORIES":
            events[-1].extend(split_text_list(value))
    return events


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
    categories = raw_categories(raw)
    if len(categories) != len(events):
        fail("%d events, but %d with content lines" % (len(events), len(categories)))
    for index, event in enumerate(events):
        for key in ("UID", "DTSTAMP", "DTSTART"):
            if key not in event:
                fail("event %d has no %s" % (index, key))
        start = event.get("dtstart").dt
        if not isinstance(start, datetime.datetime) or start.tzinfo is not None:
            fail("event %d does not start at a floating local time" % index)
        # Without DTEND (or DURATION) an event ends at its start; with it, the
        # end must be later than the start.
        if "DTEND" in event:
            end = event.get("dtend").dt
            if not isinstance(end, datetime.datetime) or end.tzinfo is not None:
                fail("event %d does not end at a floating local time" % index)
            if end <= start:
                fail("event %d ends at %s, not after its start %s" % (index, end, start))
        if len(categories[index]) > 1:
            fail("event %d has several categories: %s" % (index, categories[index]))
        uids.add(text(event.get("uid")))
        if start.date() in rows:
            visible = "[%02d:%02d] (%s) %s" % (start.hour, start.minute, ",".join(categories[index]),
                                               text(event.get("summary")))
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
