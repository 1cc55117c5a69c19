#!/usr/bin/python3
"""Holds one thread (the main thread, TID = PID) of a program still until a
line arrives on stdin, while its other threads run on: the window system's
reader thread takes a click in, and the main thread then finds that click and
whatever else happened meanwhile waiting together."""
import ctypes, os, sys

PTRACE_DETACH, PTRACE_SEIZE, PTRACE_INTERRUPT = 17, 0x4206, 0x4207
libc = ctypes.CDLL(None, use_errno=True)
libc.ptrace.argtypes = [ctypes.c_long, ctypes.c_long, ctypes.c_void_p, ctypes.c_void_p]
tid = int(sys.argv[1])
if libc.ptrace(PTRACE_SEIZE, tid, None, None) != 0 or libc.ptrace(PTRACE_INTERRUPT, tid, None, None) != 0:
    sys.exit("hold: " + os.strerror(ctypes.get_errno()))
os.waitpid(tid, 0x40000000)  # __WALL: the stop
print("held", flush=True)
sys.stdin.readline()
libc.ptrace(PTRACE_DETACH, tid, None, None)
