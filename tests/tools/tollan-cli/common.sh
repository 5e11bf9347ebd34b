# The set-up both tollan-cli shell tests share; sourced with the build
# folder and the shared fixtures folder as $1 and $2.
build=$1
shared=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cli=$build/tools/tollan-cli/tollan-cli
gen=$build/tools/make-sample-store/make-sample-store
kestrel=$build/tools/kestrel/kestrel
verify="/usr/bin/python3 $here/verify_pst.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passed=0
