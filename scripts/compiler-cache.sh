# Sourced by the build scripts: compile through ccache, so that a build in a fresh clone or
# another folder reuses what an earlier build of the same sources compiled. Paths are taken
# relative to the repository root, so clones in different folders share the cache.
if command -v ccache > /dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
