#!/usr/bin/python3
"""Prints the text of every open window titled TITLE, read through AT-SPI,
as a screen reader reads it: Qt's message boxes offer no other way."""
import sys

import pyatspi


def labels(node):
    if node is None:
        return
    if node.getRoleName() == "label" and node.name:
        print(node.name)
    for i in range(node.childCount):
        labels(node.getChildAtIndex(i))


for app in pyatspi.Registry.getDesktop(0):
    for window in app or []:
        if window is not None and window.name == sys.argv[1]:
            labels(window)
