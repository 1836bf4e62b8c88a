"""Starting a service of one's own, as a parent application does."""

from __future__ import annotations

import os
from types import TracebackType
from typing import Any

from . import _virelo
from ._connection import Connection
from ._layouts import LayoutChoice
from .errors import LaunchFailed


def _service_path() -> str:
    import shutil  # here: it brings bz2 and lzma, which "import virelo" need not pay

    found = os.environ.get("VIRELO_SERVICE") or shutil.which("virelo-service")
    if not found and os.path.exists("/usr/bin/virelo-service"):
        found = "/usr/bin/virelo-service"
    if not found:
        raise LaunchFailed("virelo-service not found: set $VIRELO_SERVICE or pass its path")
    return found


class Launcher:
    """A private service: a fresh socket directory and token, a pipe on its standard input,
    readiness awaited, and an orderly stop (closing the pipe) on ``stop()`` or on leaving the
    ``with`` block. Run as root, ``user`` names the user the service runs as.

    >>> with virelo.Launcher(environment={"VL_SIM_TRACE": "{dir}/trace"}) as service:
    ...     with service.connect() as v:
    ...         v.type("hello")
    """

    def __init__(
        self,
        service: str | None = None,
        *,
        backend: str = "corehid",
        environment: dict[str, str] | None = None,
        user: str | None = None,
        ready_timeout: float = 10.0,
        directory_parent: str = "",
    ) -> None:
        self._launcher = _virelo.Launcher(
            service or _service_path(), backend, environment or {}, user, ready_timeout,
            directory_parent)

    def start(self) -> dict[str, Any]:
        """Starts the service and returns its first event (type "ready", or "status" when it
        runs but cannot deliver input yet). Raises ServiceRefused, ServiceExitedSilently or
        LaunchFailed."""
        return self._launcher.start()

    def stop(self, timeout: float = 5.0) -> int:
        """Closes the service's pipe and returns its exit status (it is killed after timeout)."""
        return self._launcher.stop(timeout)

    def next_event(self, timeout: float) -> dict[str, Any] | None:
        """The service's next status line, parsed, or None on timeout or at its end."""
        return self._launcher.next_event(timeout)

    def running(self) -> bool:
        return self._launcher.running()

    def connect(self, *, layout: LayoutChoice = "active", timeout: float = 5.0) -> Connection:
        """A connection to this service, said hello to with its token."""
        return Connection(_virelo.Client.open(self.socket, self.token, timeout), layout)

    @property
    def socket(self) -> str:
        return self._launcher.socket

    @property
    def token(self) -> str:
        return self._launcher.token

    @property
    def directory(self) -> str:
        """The service's private directory ("{dir}" in the environment's values)."""
        return self._launcher.directory

    @property
    def pid(self) -> int:
        return self._launcher.pid

    def __enter__(self) -> Launcher:
        self.start()
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        error: BaseException | None,
        trace: TracebackType | None,
    ) -> None:
        self.stop()
