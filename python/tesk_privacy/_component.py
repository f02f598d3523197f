"""The component shape that host pipelines drive: a base class and the
marker of a component's entry point.

When the host's component library (``tesk_core``) is installed its own
``Component`` and ``main`` are used, so the analyzer and anonymizer are
components of that library; otherwise these stand-ins serve.
"""

from typing import Any, Callable, TypeVar

F = TypeVar("F", bound=Callable[..., Any])

try:  # pragma: no cover - depends on the host environment
    from tesk_core.schema import Component  # type: ignore[import-not-found]
    from tesk_core.schema.component import main  # type: ignore[import-not-found]
except ImportError:

    class Component:  # type: ignore[no-redef]
        """Base of pipeline components (stand-in for ``tesk_core.schema.Component``)."""

    def main(fn: F) -> F:  # type: ignore[no-redef]
        """Marks a component's entry point; keeps it callable unchanged."""
        return fn


__all__ = ["Component", "main"]
