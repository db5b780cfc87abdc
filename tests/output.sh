#!/usr/bin/env bash
# The output file: its default name, and that a failed run never leaves a damaged or replaced file.
source "$(dirname "$0")/lib.sh"

bmp1 12 3 ffffff 000000 "100000000001 000000000000 000000000000" >relay.bmp
mkdir -p pics dir.old dir sub
for name in relay.old.bmp a..b.bmp relay pics/relay.bmp dir.old/relay dir/relay .hidden.bmp; do
    cp relay.bmp "$name"
done

# The default name: the input's extension becomes "src", and the output stays beside the input.
while read -r input expected; do
    rm -f "$expected"
    cd sub && run -v "$input" && cd ..
    same "$input: default name" "Output file set to to '$expected'" "$(grep 'Output file set' <<<"$err")"
    check "$input: written as $expected" test -f "sub/$expected" -o -f "$expected"
done <<CASES
../relay.bmp ../relay.src
$WORK/relay.bmp $WORK/relay.src
./../relay.old.bmp ./../relay.old.src
../a..b.bmp ../a.b.src
../pics/relay.bmp ../pics/relay.src
../dir.old/relay ../dir.old/relay.src
../dir/relay ../dir/relay.src
../.hidden.bmp ../.hidden.src
CASES
run -v relay
same "bare name" "0:Output file set to to 'src'" "$status:$(grep 'Output file set' <<<"$err")"
check "bare name: written" test -f src
run -v ./relay.bmp
same "./relay.bmp" "Output file set to to './relay.src'" "$(grep 'Output file set' <<<"$err")"

# Outputs that cannot be written fail with status 2 and leave what was there.
printf 'keep me\n' >keep.src
cp keep.src before.src
for out in /dev/full no/such/dir/x.src relay.bmp/x.src pics "$WORK/pics/"; do
    run relay.bmp "$out"
    same "output $out" "2:Output file cannot be created" "$status:$err"
done
check "/dev/full is still a device" test -c /dev/full

# The input is never overwritten, whatever name reaches it.
cp relay.bmp relay.keep
ln -f relay.bmp hardlink.bmp
for args in "relay.bmp relay.bmp" "relay.bmp ./relay.bmp" "relay.bmp $WORK/relay.bmp" "relay.bmp hardlink.bmp"; do
    run $args
    same "$args" "2:Output file cannot be created" "$status:$err"
done
cp relay.bmp same.src
run same.src
same "input already named .src" "2:Output file cannot be created" "$status:$err"
check "input untouched" cmp -s relay.bmp relay.keep
check "input named .src untouched" cmp -s same.src relay.keep

# A write that fails part way (the file-size limit stands in for a full disk) keeps the old file
# whole and leaves no temporary file behind.
stripes_bmp >wide.bmp
(trap '' XFSZ; ulimit -f 64; "$PICTORN" wide.bmp keep.src 2>"$WORK/.stderr"; echo $? >status)
same "write cut short" "2:Output file cannot be created" "$(cat status):$(cat .stderr)"
check "old output kept whole" cmp -s keep.src before.src
same "no temporary files left" "" "$(ls | grep -E '^keep\.src.' || true)"

# Special files are written in place: standard output receives the text.
run relay.bmp /dev/stdout >stdout.txt
same "/dev/stdout: status" "0:" "$status:$err"
run relay.bmp out.src
same_file "/dev/stdout: text" out.src stdout.txt
same "/dev/stdout through a pipe" "{  0}#..........#" "$("$PICTORN" relay.bmp /dev/stdout 2>/dev/null | sed -n 5p)"

# Replacing a file keeps its permissions, and a link keeps pointing at its file.
chmod 640 out.src
run relay.bmp out.src
same "permissions kept" "640" "$(stat -c %a out.src)"
run wide.bmp target.src
ln -s target.src link.src
run relay.bmp link.src
check "link still a link" test -L link.src
same_file "link's file rewritten" out.src target.src

finish
