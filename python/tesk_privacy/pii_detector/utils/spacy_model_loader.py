"""Provisioning of the NLP pipelines ("spaCy models") an analyzer is
configured with: load a pipeline by name, and when that fails install the
model package with the environment's package manager (uv when the
environment is uv-managed, pip run by this interpreter otherwise) and load
it again, retrying a few times.

The pipelines the library ships (including "en_core_web_sm") are built in
and always load, so nothing is installed for them. Loading and installing
run with the GIL released; messages are logged under this module's name.
"""

import logging
from typing import Any

from tesk_privacy._core import _native

logger = logging.getLogger(__name__)

DEFAULT_SPACY_MODEL: str = _native.DEFAULT_SPACY_MODEL
DEFAULT_SPACY_MODEL_VERSION: str = _native.DEFAULT_SPACY_MODEL_VERSION
SPACY_MODEL_URL_TEMPLATE: str = _native.SPACY_MODEL_URL_TEMPLATE
MAX_LOAD_ATTEMPTS: int = _native.MAX_LOAD_ATTEMPTS
RETRY_DELAY_SECONDS: float = _native.RETRY_DELAY_SECONDS


def load_spacy_model(
    model_name: str = DEFAULT_SPACY_MODEL, model_version: str = DEFAULT_SPACY_MODEL_VERSION, auto_install: bool = True
) -> Any:
    """The pipeline (an ``NlpEngine``) named ``model_name``, installed first
    when missing and ``auto_install``. Raises OSError ("Could not load spaCy
    model '...'") when it cannot be loaded, RuntimeError when installation
    fails."""
    return _native.load_spacy_model(model_name, model_version, auto_install)


def ensure_spacy_model(model_name: str = DEFAULT_SPACY_MODEL, model_version: str = DEFAULT_SPACY_MODEL_VERSION) -> None:
    """Makes sure ``model_name`` loads, installing it when missing. Raises
    RuntimeError ("spaCy model '...' could not be loaded after
    installation.") when it still does not, with the OSError of the last
    load as its ``__cause__``."""
    _native.ensure_spacy_model(model_name, model_version)


def _is_uv_environment() -> bool:
    return _native._is_uv_environment()


def _install_spacy_model(model_name: str, model_version: str) -> None:
    _native._install_spacy_model(model_name, model_version)


def _load_model_with_fallback(model_name: str) -> Any:
    return _native._load_model_with_fallback(model_name)


__all__ = [
    "DEFAULT_SPACY_MODEL",
    "DEFAULT_SPACY_MODEL_VERSION",
    "SPACY_MODEL_URL_TEMPLATE",
    "MAX_LOAD_ATTEMPTS",
    "RETRY_DELAY_SECONDS",
    "load_spacy_model",
    "ensure_spacy_model",
]
