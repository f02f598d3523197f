"""YAML configuration files: recognizers of one's own, deny and allow lists,
and the operator of each entity type, without writing code::

    config = tesk_privacy.load_config("privacy.yaml")
    analyzer = TextAnalyzer(config=config)               # adds its recognizers
    anonymizer = TextAnonymizer(analyzer, config=config)  # its operators and allow list

``TextAnalyzer`` and ``TextAnonymizer`` also take the path itself. The
format (``examples/config.yaml`` is a complete, commented file)::

    recognizers:                   # pattern recognizers of one's own
      - name: employee id          # optional; default "<ENTITY_TYPE> pattern"
        entity_type: EMPLOYEE_ID   # required; capital letters, digits and _
        patterns:                  # one or more (or a single regex/score
          - name: nip              # on the recognizer itself)
            regex: '\\bEMP-\\d{6}\\b' # Python's re dialect
            score: 0.9             # 0 to 1; default 0.85
        context: [karyawan, pegawai, employee]
        languages: [id, en]        # default both
    deny_lists:                    # words always reported as the type
      PROJECT: [Garuda, Merpati]
    allow_list: [Jakarta, Bank Indonesia]   # texts never reported or replaced
    operators:                     # per entity type; DEFAULT for all others
      PHONE_NUMBER: {type: mask, masking_char: "*", chars_to_mask: 6, from_end: true}
      ID_KTP: {type: encrypt, key: "0123456789abcdef"}

Operator types are replace, redact, mask, hash, encrypt and keep, with the
parameters of :class:`tesk_privacy.framework.OperatorConfig`. Any mistake
(an unknown key, a value of the wrong kind, a score outside 0..1, a regex
that does not compile, an unknown language or operator) raises
:class:`tesk_privacy.errors.ConfigError`, a ValueError whose message starts
with "PATH:LINE:COLUMN:" and which carries ``line`` and ``column``.
"""

import os
from typing import Optional, Union

from tesk_privacy._core import _native

#: What a configuration asks for: ``recognizers`` (a list of
#: ``PatternRecognizer``, one per recognizer and language), ``allow_list``
#: (a list of str) and ``operators`` (entity type -> ``OperatorConfig``).
PrivacyConfig = _native.PrivacyConfig

ConfigSource = Union[str, "os.PathLike[str]", "_native.PrivacyConfig"]


def load_config(path: Union[str, "os.PathLike[str]"]) -> "_native.PrivacyConfig":
    """The configuration in the YAML file at ``path``.

    Raises :class:`tesk_privacy.errors.ConfigError` (a ValueError) for a file
    that cannot be read or is not valid; its message names the file, line
    and column.
    """
    return _native.load_privacy_config(os.fspath(path))


def parse_config(text: str, source: str = "<config>") -> "_native.PrivacyConfig":
    """The configuration written in ``text`` (YAML); ``source`` names it in
    error messages instead of a path."""
    return _native.parse_privacy_config(text, source)


def _resolve(config: Optional[ConfigSource]) -> Optional["_native.PrivacyConfig"]:
    """``config`` itself, the file it names loaded, or None."""
    if config is None or isinstance(config, PrivacyConfig):
        return config
    if isinstance(config, (str, os.PathLike)):
        return load_config(config)
    raise TypeError(f"config must be a path or a PrivacyConfig, not {type(config).__name__}")


__all__ = ["PrivacyConfig", "load_config", "parse_config"]
