"""Session beyond what its model covers: the access rule when argument conversion calls back into
the session."""

import pytest

import vorn_sdk_core as core


class Reentrant:
    """A number whose conversion first runs `callback`."""

    def __init__(self, callback, value):
        self.callback, self.value = callback, value

    def __index__(self):
        self.callback()
        return self.value

    __float__ = __index__


@pytest.mark.parametrize("call,message", [
    (lambda s: s.begin_attempt(Reentrant(lambda: s.state, 0.0)), "Already mutably borrowed"),
    (lambda s: s.on_connected(Reentrant(lambda: s.begin_attempt(0.0), 0), 1.0), "Already borrowed"),
    (lambda s: s.on_socket_close(0, 1.0, Reentrant(s.end, 1006), 0.5), "Already borrowed"),
])
def test_reentrant_conversion_is_refused_and_changes_nothing(call, message):
    session = core.Session(core.SessionPolicy.default())
    with pytest.raises(RuntimeError, match=message):
        call(session)
    assert session.begin_attempt(0.0) == 0 and session.state is core.SessionState.Connecting
