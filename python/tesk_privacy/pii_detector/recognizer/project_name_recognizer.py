"""Project names (PROJECT, 0.5): "Project" followed by a capitalised word or
"E", the built-in names, and names the caller adds::

    ProjectNameRecognizer(additional_project_names=["Nebula"])

The built-in names are also a deny list (score 1.0). Added names are regular
expressions, not literals: escape them (``re.escape``) to match them as text.
"""

from typing import Tuple

from tesk_privacy._core import _native

ProjectNameRecognizer = _native.ProjectNameRecognizer

ProjectNameRecognizer._default_project_names = tuple(ProjectNameRecognizer._default_project_names())
ProjectNameRecognizer._context = tuple(ProjectNameRecognizer._default_context())
ProjectNameRecognizer._deny_list = ProjectNameRecognizer._default_project_names
_PROJECT_NAMES: Tuple[str, ...] = ProjectNameRecognizer._default_project_names

__all__ = ["ProjectNameRecognizer"]
