#!/usr/bin/python3
"""Reads the program's windows over the AT-SPI bus as a screen reader does (pyatspi).

    atspi.py tree [TITLE]          every accessible under the program (or one window): role, name, actions
    atspi.py buttons TITLE         the push buttons of a showing window, one "role|name" a line
    atspi.py press TITLE NAME      runs the press action of the push button NAME in window TITLE

Exit status 0 on success, 1 when the window or the button is not there, 2 when the program is not
on the bus at all.
"""
import sys

import pyatspi

APP = "Pellavine"


def program():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == APP:
            return app
    return None


def walk(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def actions(node):
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def window(app, title):
    for i in range(app.childCount):
        top = app.getChildAtIndex(i)
        if top is not None and top.name == title and top.getState().contains(pyatspi.STATE_SHOWING):
            return top
    return None


def main(argv):
    app = program()
    if app is None:
        print(f"{APP} is not on the accessibility bus", file=sys.stderr)
        return 2
    command = argv[1] if len(argv) > 1 else "tree"
    if command == "tree":
        root = window(app, argv[2]) if len(argv) > 2 else app
        if root is None:
            return 1
        for node, depth in walk(root):
            states = node.getState()
            marks = [m for m, s in (("focusable", pyatspi.STATE_FOCUSABLE), ("focused", pyatspi.STATE_FOCUSED),
                                    ("showing", pyatspi.STATE_SHOWING)) if states.contains(s)]
            print(f"{'  ' * depth}{node.getRoleName()} \"{node.name}\" desc=\"{node.description}\" "
                  f"actions={actions(node)} {' '.join(marks)}")
        return 0
    top = window(app, argv[2])
    if top is None:
        print(f"no showing window \"{argv[2]}\"", file=sys.stderr)
        return 1
    buttons = [node for node, _ in walk(top) if node.getRole() == pyatspi.ROLE_PUSH_BUTTON]
    if command == "buttons":
        for node in buttons:
            print(f"{node.getRoleName()}|{node.name}")
        return 0
    if command == "press":
        for node in buttons:
            if node.name == argv[3]:
                action = node.queryAction()
                names = [action.getName(i) for i in range(action.nActions)]
                if "Press" not in names:
                    print(f"\"{argv[3]}\" has no press action: {names}", file=sys.stderr)
                    return 1
                return 0 if action.doAction(names.index("Press")) else 1
        print(f"no push button \"{argv[3]}\"", file=sys.stderr)
        return 1
    print(__doc__, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
