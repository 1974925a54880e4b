import enum

class Verdict(enum.Enum):
    PASS = 0
    VIOLATION = 1
    BAD_INPUT = 2
    NO_VERDICT = 3

class Options:
    model: str
    baseline: bool
    prefix: str
    processors: int
    trace_file: str
    trace_text: str
    trace_in_memory: bool
    def __init__(self) -> None: ...

class Result:
    @property
    def verdict(self) -> Verdict: ...
    @property
    def status(self) -> int: ...
    @property
    def output(self) -> str: ...
    @property
    def errors(self) -> str: ...
    @property
    def witness(self) -> list[str]: ...

def check(options: Options) -> Result: ...
def simulate(arguments: list[str]) -> str: ...
