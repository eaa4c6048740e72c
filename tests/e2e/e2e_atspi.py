"""The window as a user's assistive technology sees it: found and driven through AT-SPI.

Every call that crosses the accessibility bus may fail while the program's window thread is
busy (its pauses block it for two seconds), so lookups are retried until their deadline.
"""

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

from e2e_session import wait_until  # noqa: E402

_initialised = False


def init():
    global _initialised
    if not _initialised:
        Atspi.init()
        _initialised = True


class DriveError(AssertionError):
    pass


def _safe(call, default=None):
    try:
        return call()
    except GLib.Error:
        return default


def children(node):
    count = _safe(node.get_child_count, 0) or 0
    for index in range(count):
        child = _safe(lambda: node.get_child_at_index(index))
        if child is not None:
            yield child


def walk(node, depth=12):
    yield node
    if depth > 0:
        for child in children(node):
            yield from walk(child, depth - 1)


def name_of(node):
    return _safe(node.get_name, "") or ""


def role_of(node):
    return _safe(node.get_role_name, "") or ""


def find_top_level(title, application_pid=None):
    """A top-level window or dialog with this accessible name, or None."""
    desktop = Atspi.get_desktop(0)
    for application in children(desktop):
        if application_pid is not None and _safe(application.get_process_id) != application_pid:
            continue
        for window in children(application):
            if name_of(window) == title:
                return window
    return None


def wait_top_level(title, timeout, application_pid=None):
    window = wait_until(lambda: find_top_level(title, application_pid), timeout, 0.25)
    if window is None:
        raise DriveError("no window %r appeared within %s s" % (title, timeout))
    return window


def find(root, role, name=None, predicate=None):
    for node in walk(root):
        if role_of(node) != role:
            continue
        if name is not None and name_of(node) != name:
            continue
        if predicate is not None and not predicate(node):
            continue
        return node
    return None


def require(root, role, name, timeout=10):
    node = wait_until(lambda: find(root, role, name), timeout, 0.2)
    if node is None:
        raise DriveError("no %s %r within %s s" % (role, name, timeout))
    return node


def do_named_action(node, action_name):
    """Runs the node's action of that name, as a screen reader's "activate" would."""
    count = node.get_n_actions()
    for index in range(count):
        if node.get_action_name(index) == action_name:
            try:
                node.do_action(index)
            except GLib.Error:
                # A modal box opened by the action keeps the reply back; the action still ran.
                pass
            return
    raise DriveError("%r offers no action %r" % (name_of(node), action_name))


def press(window, caption, timeout=10):
    do_named_action(require(window, "push button", caption, timeout), "Press")


def item_texts(list_node):
    return [name_of(item) for item in children(list_node) if role_of(item) == "list item"]


def is_enabled(node):
    states = _safe(node.get_state_set)
    return bool(states) and states.contains(Atspi.StateType.ENABLED)


def click(node):
    """A left click at the middle of the node, through the X server as a mouse would."""
    extents = node.get_extents(Atspi.CoordType.SCREEN)
    if extents.width <= 0 or extents.height <= 0:
        raise DriveError("%r has no area on the screen" % name_of(node))
    x = extents.x + extents.width // 2
    y = extents.y + extents.height // 2
    if not Atspi.generate_mouse_event(x, y, "b1c"):
        raise DriveError("the click at %d,%d was not delivered" % (x, y))


def hover(node):
    """The mouse pointer over the middle of the node, through the X server."""
    extents = node.get_extents(Atspi.CoordType.SCREEN)
    Atspi.generate_mouse_event(extents.x + extents.width // 2, extents.y + extents.height // 2, "abs")


def key(keysym):
    """One key pressed and released through the X keyboard, as the focused window receives it."""
    if not Atspi.generate_keyboard_event(keysym, None, Atspi.KeySynthType.SYM):
        raise DriveError("the key %#x was not delivered" % keysym)


def menu_item_by_keys(keysyms, caption, timeout):
    """Sends the keys, which open a popup menu and move to its item caption, and returns that item
    once it has the focus. Qt lists no popup among an application's windows: its items are reached
    through their focus events."""
    focused = []
    listener = Atspi.EventListener.new(lambda event: focused.append(event.source) if event.detail1 else None)
    listener.register("object:state-changed:focused")
    try:
        for keysym in keysyms:
            key(keysym)

        def item():
            while GLib.MainContext.default().iteration(False):
                pass
            return next((node for node in focused
                         if role_of(node) == "menu item" and name_of(node) == caption), None)
        found = wait_until(item, timeout, 0.1)
    finally:
        listener.deregister("object:state-changed:focused")
    if found is None:
        raise DriveError("no menu item %r took the focus within %s s; focused: %r"
                         % (caption, timeout, [(role_of(node), name_of(node)) for node in focused]))
    return found


def description_of(node):
    return _safe(node.get_description, "") or ""


def window_extents(window):
    extents = window.get_extents(Atspi.CoordType.SCREEN)
    return extents.x, extents.y, extents.width, extents.height
