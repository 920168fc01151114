// Keeps a subsystem library non-empty while it is being built up.
