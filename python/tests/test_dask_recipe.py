"""The README's recipe for many machines: checks spread over a Dask cluster,
here a local one on this machine, give what one machine gives."""

import pytest

import qirn

distributed = pytest.importorskip("dask.distributed")


def verdict(source):
    """What one check returns to the client: small, and picklable."""
    result = qirn.check(source, model="TSO", baseline=True)
    return result.verdict.name, result.witness


def test_checks_on_a_cluster_give_what_one_machine_gives(tmp_path):
    sources = []
    for seed in range(1, 13):
        folder = tmp_path / f"{seed}"
        folder.mkdir()
        qirn.simulate(folder, processors=3, operations=40, locks=0, model="TSO",
                      violations=seed % 2, seed=seed, one_file=folder / "run.txt")
        sources.append(folder)
        sources.append(qirn.Traces((folder / "run.txt").read_text()))
    with distributed.LocalCluster(n_workers=2, threads_per_worker=2, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            spread = client.gather(client.map(verdict, sources))
    assert spread == [verdict(source) for source in sources]
    assert any(name == "VIOLATION" for name, _ in spread)
