# Sourced by the command-line test scripts: check NAME EXPECTED ACTUAL counts
# a failure in $fails and prints both values when they differ.
fails=0
check() {
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1"
        echo "  expected: $2"
        echo "  actual:   $3"
        fails=$((fails + 1))
    fi
}
