"""Routes the compiled core's log records to Python's :mod:`logging`.

The library's C++ modules log under their dotted module names (for example
``tesk_privacy.pii_detector.custom_lemma_context_aware_enhancer``); each
record is handed to ``logging.getLogger(name).log(level, message)`` with the
level kept (DEBUG 10, INFO 20, WARNING 30, ERROR 40, CRITICAL 50).

The C++ side decides cheaply which records to produce at all, from levels
copied from :mod:`logging`: the bridge copies them when it is installed (on
the first import of the package), when a ``TextAnalyzer`` or
``TextAnonymizer`` is built, and every time a level changes through
:mod:`logging` (``Logger.setLevel``, ``logging.disable``), so::

    logging.getLogger("tesk_privacy.pii_detector").setLevel(logging.DEBUG)

takes effect at once. :func:`sync_log_levels` copies them on request.

At interpreter exit the bridge is removed; records produced after that go to
standard error.
"""

import atexit
import logging
import threading
from typing import Dict

from tesk_privacy import _native

ROOT_LOGGER = "tesk_privacy"

_lock = threading.Lock()
_installed = False


def install() -> None:
    """Sends the compiled core's log records to :mod:`logging` (idempotent)."""
    global _installed
    with _lock:
        if not _installed:
            _native._install_log_bridge()
            atexit.register(uninstall)
            _follow_level_changes()
            _installed = True
    sync_log_levels()


def _follow_level_changes() -> None:
    # logging empties its level cache on every level change (setLevel,
    # disable); the levels are copied to the core at the same moment.
    manager_class = logging.Manager
    original = manager_class._clear_cache
    if getattr(original, "_tesk_privacy_bridge", False):
        return

    def _clear_cache(self: logging.Manager) -> None:
        original(self)
        if _installed:
            sync_log_levels()

    _clear_cache._tesk_privacy_bridge = True  # type: ignore[attr-defined]
    manager_class._clear_cache = _clear_cache  # type: ignore[assignment]


def uninstall() -> None:
    """Sends the compiled core's log records to standard error again."""
    global _installed
    with _lock:
        if _installed:
            _native._uninstall_log_bridge()
            _installed = False


def sync_log_levels() -> None:
    """Copies the effective levels of the ``tesk_privacy`` loggers to the core.

    Every ``tesk_privacy`` logger known to :mod:`logging` gets its effective
    level; the core's other loggers use the lowest of these levels, so no
    record that :mod:`logging` would emit is left out (the finer filtering
    happens in :mod:`logging` itself).
    """
    levels: Dict[str, int] = {}
    for name, logger in list(logging.Logger.manager.loggerDict.items()):
        if isinstance(logger, logging.Logger) and (name == ROOT_LOGGER or name.startswith(ROOT_LOGGER + ".")):
            levels[name] = logger.getEffectiveLevel()
    default = min([logging.getLogger(ROOT_LOGGER).getEffectiveLevel(), *levels.values()])
    _native._set_log_levels(default, levels)


__all__ = ["install", "uninstall", "sync_log_levels"]
