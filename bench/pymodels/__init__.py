"""Idiomatic pure-Python versions of the module's stateful rules: the anchors its classes are timed
against. Each carries what the timed cycles exercise, written the obvious way, without the module's
argument checks."""

from .decisions import ClaimOutcome, DecisionRegistry
from .delivery import ClaimRegistry, RetryTracker
from .session import Session, SessionPolicy
from .subscriptions import LeaveOutcome, RoomSubscribeResult, SubscriptionTracker

__all__ = ["ClaimOutcome", "ClaimRegistry", "DecisionRegistry", "LeaveOutcome", "RetryTracker",
           "RoomSubscribeResult", "Session", "SessionPolicy", "SubscriptionTracker"]
