"""The compiled core, loaded with its log records routed to :mod:`logging`.

Every module of the package imports ``_native`` from here, so that the log
bridge is in place before any library code runs.
"""

from tesk_privacy import _native, log_bridge

log_bridge.install()

__all__ = ["_native"]
