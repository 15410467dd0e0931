#!/usr/bin/python3
"""Stands in for a screen reader on the AT-SPI bus while the benchmark runs.

It registers for the events a screen reader listens to (focus, every object
event, window events), so the program's accessibility bridge sends them, and
for each event asks what a reader announces: the source's name and role, one
call back into the program each. When a table or one of its cells takes the
focus it asks the table's row and column count; when a progress bar's value
changes it asks the value. It prints "ready" once registered and, when
terminated, what it saw.
"""
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

counts = {}
tables = []  # (rows, columns) at each focus in a table
progress = []  # progress bar values, in the order they were read


def on_event(event):
    kind = ":".join(event.type.split(":")[:2])
    counts[kind] = counts.get(kind, 0) + 1
    try:
        source = event.source
        if source is None:
            return
        source.get_name()
        role = source.get_role()
        if kind == "focus:" and role in (Atspi.Role.TABLE_CELL, Atspi.Role.TABLE):
            table = source if role == Atspi.Role.TABLE else source.get_parent()
            tables.append((table.get_n_rows(), table.get_n_columns()))
        elif role == Atspi.Role.PROGRESS_BAR and (
            kind == "object:value-changed" or event.type == "object:property-change:accessible-value"
        ):
            progress.append(round(source.get_current_value()))
    except GLib.Error:
        pass  # the object or the program went away meanwhile


def finish(*_):
    for kind, count in sorted(counts.items()):
        print(f"listener: {count:8d} {kind}", file=sys.stderr)
    for rows, columns in sorted(set(tables)):
        print(f"listener: table with focus: {rows} rows, {columns} columns", file=sys.stderr)
    if progress:
        print(f"listener: progress bar: {len(progress)} values read, last {progress[-1]}", file=sys.stderr)
    sys.stderr.flush()
    Atspi.event_quit()
    return GLib.SOURCE_REMOVE


listener = Atspi.EventListener.new(on_event)
for event_type in ("focus:", "object:", "window:"):
    listener.register(event_type)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, finish)  # SIGTERM
print("ready", flush=True)
Atspi.event_main()
