"""The Python package against the library it binds: verdicts on simulated
runs, traces held in memory, threads, and refused input."""

import json
from concurrent.futures import ThreadPoolExecutor

import pytest

import qirn


@pytest.fixture(scope="module")
def runs(tmp_path_factory):
    """Simulated runs in folders, some with planted violations, each with
    the verdicts its manifest says every model and mode must give."""
    root = tmp_path_factory.mktemp("runs")
    made = {}
    for seed in range(1, 9):
        folder = root / f"{seed}"
        folder.mkdir()
        kind = ["violations", "timed_violations", "lock_violations", "fences"][seed % 4]
        qirn.simulate(folder, processors=3, operations=30, addresses=3, locks=seed % 3, seed=seed,
                      **{kind: 1})
        made[folder] = json.loads((folder / "manifest.json").read_text())["expected"]
    return made


VERDICTS = {"pass": {qirn.Verdict.PASS}, "violation": {qirn.Verdict.VIOLATION},
            "any": {qirn.Verdict.PASS, qirn.Verdict.VIOLATION}}


@pytest.mark.parametrize("model", ["SC", "PC", "RC", "ScC"])
@pytest.mark.parametrize("mode", ["optimized", "baseline"])
def test_simulated_runs_get_the_verdicts_their_manifests_expect(runs, model, mode):
    for folder, expected in runs.items():
        result = qirn.check(folder, model=model, baseline=mode == "baseline")
        assert result.verdict in VERDICTS[expected[model][mode]], result.output
        assert result.output.startswith(f"The memory model to be verified is {model}\n")
        for operation in result.witness:
            assert operation in result.output
    if mode == "optimized":
        assert any(expected[model][mode] == "violation" for expected in runs.values())


def test_traces_in_memory_give_what_the_file_gives(tmp_path):
    qirn.simulate(tmp_path, processors=2, operations=20, locks=0, violations=1, seed=5,
                  one_file=tmp_path / "run.txt")
    from_file = qirn.check(tmp_path / "run.txt", baseline=True)
    in_memory = qirn.check(qirn.Traces((tmp_path / "run.txt").read_text()), baseline=True)
    assert from_file.verdict == qirn.Verdict.VIOLATION
    assert in_memory.output == from_file.output
    assert in_memory.witness == from_file.witness and in_memory.witness


def test_checks_in_threads_give_what_they_give_one_after_another(runs):
    def summary(folder):
        result = qirn.check(folder, model="TSO", baseline=True)
        return result.verdict, result.witness, result.errors

    folders = list(runs) * 4
    sequential = [summary(folder) for folder in folders]
    with ThreadPoolExecutor(max_workers=4) as pool:
        assert list(pool.map(summary, folders)) == sequential


def test_refused_input_is_reported_not_raised(tmp_path):
    missing = qirn.check(tmp_path / "none-", model="SC")
    assert missing.verdict == qirn.Verdict.BAD_INPUT
    assert missing.status == 255 and "open test result file" in missing.errors
    unknown = qirn.check(tmp_path, model="XC")
    assert unknown.verdict == qirn.Verdict.BAD_INPUT
    assert unknown.output == "not valid memory model!\n"
    with pytest.raises(ValueError, match="processors"):
        qirn.simulate(tmp_path, processors=0)
