"""qirn: checks the traces of a multiprocessor run against a memory model.

``check`` decides whether some execution legal under the model explains the
values the loads returned, and hands back what the ``qirn`` command prints;
``simulate`` writes the trace and bound files of a simulated run, as
``qirn-gen`` does.
"""

from __future__ import annotations

import os
from dataclasses import dataclass
from typing import Union

from ._qirn import Options, Result, Verdict
from ._qirn import check as _check
from ._qirn import simulate as _simulate

__all__ = ["Result", "Traces", "Verdict", "check", "simulate"]


@dataclass(frozen=True)
class Traces:
    """A whole run as the text of one file, as ``qirn --trace`` reads it.

    ``name`` only names the text in messages.
    """

    text: str
    name: str = ""


def check(
    source: Union[str, os.PathLike, Traces],
    model: str = "SC",
    baseline: bool = False,
    processors: int = 0,
) -> Result:
    """Checks one run under ``model`` (SC, PC, RC, ScC, TSO, PSO or WMO).

    ``source`` is a folder holding ``tfres.N`` and ``boundgt.N``, a path
    prefix of such files (as ``qirn -i`` takes it), a one-file trace, or
    ``Traces`` held in memory. ``processors`` 0 counts the trace files.
    ``baseline`` reads no bound file, as ``qirn -b``. The checks of several
    threads run at the same time.
    """
    options = Options()
    options.model = model
    options.baseline = baseline
    options.processors = processors
    if isinstance(source, Traces):
        options.trace_file = source.name
        options.trace_text = source.text
        options.trace_in_memory = True
    else:
        path = os.fspath(source)
        if os.path.isdir(path):
            options.prefix = os.path.join(path, "")
        elif os.path.isfile(path):
            options.trace_file = path
        else:
            options.prefix = path
    return _check(options)


def simulate(prefix: Union[str, os.PathLike], **options: object) -> str:
    """Simulates a run and writes its files, as ``qirn-gen``, into the folder
    ``prefix`` names or with ``prefix`` before each file name.

    Each keyword is a ``qirn-gen`` option with ``-`` spelled ``_``, for
    example ``processors=4, operations=100, violations=1, model="TSO"``;
    ``one_file="run.txt"`` also writes the run as one file. Returns
    qirn-gen's summary; a value it refuses raises ``ValueError``.
    """
    path = os.fspath(prefix)
    if os.path.isdir(path):
        path = os.path.join(path, "")
    arguments = ["--output", path]
    for name, value in options.items():
        arguments += ["--" + name.replace("_", "-"), str(value)]
    return _simulate(arguments)
