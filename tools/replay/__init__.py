"""Replays a trace of host facts through one of each of vorn_sdk_core's stateful objects."""
