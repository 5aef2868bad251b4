"""Frame ranges rendered by the workers of a dask.distributed cluster (filled in below)."""
