#!/usr/bin/env bash
# End-to-end test of the programs as a user starts them, without a display: help, version and
# refused command lines, files that are missing or broken, nimbra-service on a GraphML file, an
# offscreen run with a script from another directory (nimbra hands it to nimbra-offscreen), the
# timing option, a run until the network is in and one that gets nobody, and an installation
# under a temporary prefix that runs from anywhere. Skips (77) without ImageMagick's identify.
#   e2e_command_line.sh PATH_TO_NIMBRA BUILD_DIR
set -u
nimbra=${1:?usage: e2e_command_line.sh PATH_TO_NIMBRA BUILD_DIR}
build=${2:?usage: e2e_command_line.sh PATH_TO_NIMBRA BUILD_DIR}
command -v identify >/dev/null 2>&1 || { echo "SKIP: identify is not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A home of its own: the kept login session and any cache land here, not in the user's files.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
fail() { echo "FAIL: $*"; echo "--- output"; cat "$work/out" "$work/err" 2>/dev/null; exit 1; }
# run EXPECTED_STATUS ARGS...: runs nimbra with no display, output in $work/out and $work/err.
run() {
  local want=$1; shift
  env -u DISPLAY -u WAYLAND_DISPLAY "$nimbra" "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" = "$want" ] || fail "nimbra $* exited with $got, not $want"
}
says() { grep -qF -- "$2" "$work/$1" || fail "expected '$2' in the $1 stream"; }

run 0 --help;                      says out "--snapshot FILE"
run 0 --version;                   says out "nimbra 0."
run 2 --frobnicate;                says err "unknown option '--frobnicate'"; says err "Try 'nimbra --help'"
run 2 --size 12;                   says err "bad size '12'"
run 2 --snapshot x.png --frames 0; says err "bad frame count '0'"
run 1 --graph "$work/missing.txt"; says err "cannot open the graph file"
printf '# nothing\nnot an edge\n' >"$work/bad.txt"
run 1 --graph "$work/bad.txt";     says err "no friendships found"
printf 'graph [\n node [ id 1 ]\n node [ id 2 \n' >"$work/cut.gml"
run 1 --graph "$work/cut.gml";     says err "cut.gml: not readable as GML: Parse error in GML file, line 4"
run 2 --mutual-only;               says err "--mutual-only needs --graph"
run 2 --refresh;                   says err "--refresh needs --bluesky"
run 2 --bluesky a.test --graph x;  says err "--bluesky shows a Bluesky network"
run 1 --bluesky "not a handle" --frames 1; says err "'not a handle' is not a Bluesky handle"
run 1 --data "$work";              says err "no data/config folder there"
NIMBRA_DATA="$work" run 1;         says err "NIMBRA_DATA=$work"
echo "ok: help, version and refusals"

# nimbra-service on a GraphML file prints its usual line about the user it serves.
cat >"$work/three.graphml" <<'GRAPHML'
<?xml version="1.0" encoding="UTF-8"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
  <key id="n" for="node" attr.name="label" attr.type="string"/>
  <graph edgedefault="directed">
    <node id="ann"><data key="n">Ann Lee</data></node><node id="bo"/><node id="cy"/>
    <edge source="ann" target="bo"/><edge source="cy" target="ann"/><edge source="ann" target="ann"/>
  </graph>
</graphml>
GRAPHML
"$build/service/nimbra-service" --port 0 --graph "$work/three.graphml" --ego ann >"$work/out" 2>"$work/err" &
service=$!
for _ in $(seq 600); do grep -q "login token" "$work/out" && break; sleep 0.1; done
kill "$service" 2>/dev/null; wait "$service" 2>/dev/null
says out "user ann (Ann Lee) with 2 friends"
says err "three.graphml: 1 self-loop skipped"
echo "ok: nimbra-service serves a GraphML file"

# An offscreen run from another directory: every relative path is the user's.
mkdir -p "$work/here"
cd "$work/here" || fail "cannot enter $work/here"
cat >script.txt <<'SCRIPT'
frame 2 move 100 100
frame 3 snapshot early.png   # the third frame
frame 4 key hello
SCRIPT
run 0 --snapshot last.png --until-loaded --frames 4 --size 320x240 --script script.txt
for f in early.png last.png; do
  [ "$(identify -format '%w %h' "$f" 2>/dev/null)" = "320 240" ] || fail "$f is not a 320x240 picture"
done
printf 'frame 2 jump 1 2\n' >bad_script.txt
run 1 --frames 3 --script bad_script.txt; says err "bad_script.txt: line 1: unknown event 'jump'"
run 1 --snapshot "$work/no/such/dir/x.png" --until-loaded --frames 1 --size 64x64; says err "cannot write"
run 0 --bench --frames 4 --size 160x120 --until-loaded; says out "frames per second"
# A graph of a user with three friends, two of them friends: 4 people, 3 + 1 lines, whatever
# the timing, once everything is in.
printf '1 2\n1 3\n1 4\n2 3\n' >"$work/small.txt"
run 0 --graph "$work/small.txt" --ego 1 --until-loaded --frames 2 --size 160x120 --bench
says out "offscreen 160x120, 4 people, 4 lines, "
says out "frames with everything in (4 people, 4 lines): 2,"
says err "Everything is in: 3 friends and 1 friendship among them"
# No service, no people: a failure with the reason, not an empty picture.
run 1 --service http://127.0.0.1:1/restserver.php --frames 3 --size 64x64
says err "no people arrived: the social service at http://127.0.0.1:1/restserver.php did not answer (connection refused)"
echo "ok: offscreen pictures, script errors, timing and a run until loaded"

# The demo network saved as GraphML opens again as the same network, which saves to the same
# file; a folder that is not there is refused before the run, not after it.
run 1 --save-graph "$work/no/such/dir/demo.graphml" --until-loaded --frames 1 --size 64x64
says err "cannot save the network to $work/no/such/dir/demo.graphml: No such file or directory"
(cd "$work" && run 0 --until-loaded --frames 1 --size 64x64 --save-graph demo.graphml)
grep -q '<edge source=' "$work/demo.graphml" || fail "demo.graphml has no edges"
run 0 --graph "$work/demo.graphml" --until-loaded --frames 1 --size 64x64 --save-graph "$work/again.graphml"
cmp -s "$work/demo.graphml" "$work/again.graphml" || fail "the demo saved again differs"
echo "ok: --save-graph round-trips"

# Installed under a prefix of its own, the program finds its data from any directory.
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/out" 2>"$work/err" || fail "cmake --install failed"
for f in bin/nimbra bin/nimbra-offscreen share/nimbra/data/config/themes.txt share/nimbra/data/config/question.tga \
         share/applications/nimbra.desktop share/icons/hicolor/128x128/apps/nimbra.png; do
  [ -e "$prefix/$f" ] || fail "the installation lacks $f"
done
cd / || fail "cannot enter /"
env -u DISPLAY "$prefix/bin/nimbra" --snapshot "$work/installed.png" --until-loaded --frames 2 --size 160x120 >"$work/out" 2>"$work/err" ||
  fail "the installed program did not run"
[ "$(identify -format '%w %h' "$work/installed.png")" = "160 120" ] || fail "the installed program wrote no picture"
echo "ok: installation runs from /"
echo "PASS"
