"""The test-bench example of the README: a run is recorded, checked, and
its witness shown when the check fails."""

import qirn


def test_recorded_run_is_legal_under_tso(tmp_path):
    # The bench records its run here; qirn-gen's simulator stands in for it.
    qirn.simulate(tmp_path, processors=4, operations=200, locks=0, model="TSO", seed=7)
    result = qirn.check(tmp_path, model="TSO")
    assert result.verdict == qirn.Verdict.PASS, "\n".join(["violation:", *result.witness])
