#!/usr/bin/env python3
"""Runs a command with ZORVALEN_BOARD_DATABASE set to a database of a throwaway PostgreSQL
cluster (pg_cluster.py), which is gone afterwards: the fuzz harness of the upload path against
PostgreSQL. Skipped (77) where no cluster can be started.

    with_cluster.py COMMAND [ARGUMENT...]"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pg_cluster  # noqa: E402

cluster = pg_cluster.Cluster()
environment = dict(os.environ, ZORVALEN_BOARD_DATABASE=cluster.create("fuzz"))
sys.exit(subprocess.run(sys.argv[1:], env=environment).returncode)
