// Compiles the shared precompiled header; nothing else.
