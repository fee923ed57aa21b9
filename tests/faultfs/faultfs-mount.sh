#!/bin/bash
# faultfs (tests/faultfs) mounted for the Windows tests under Wine, which
# reach it as a Z: path and give it their faults through its control file.
#
#   faultfs-mount.sh start DIR FAULTFS   mounts DIR/mnt over DIR/backing
#   faultfs-mount.sh stop DIR            unmounts it
#
# start never fails: where nothing can be mounted it says why and the fault
# cases skip. The mount ends with the test run that made it (its parent
# process) even when that run is interrupted before stop.
set -u
action=$1 dir=$2

stop() {
    if [ -f "$dir/pid" ]; then
        kill "$(cat "$dir/pid")" 2>/dev/null
        rm -f "$dir/pid"
        for _ in $(seq 50); do
            mountpoint -q "$dir/mnt" || break
            sleep 0.1
        done
    fi
    mountpoint -q "$dir/mnt" 2>/dev/null && umount -l "$dir/mnt"
    return 0
}

case "$action" in
start)
    faultfs=$3
    run=$PPID
    stop
    rm -rf "$dir/backing"
    mkdir -p "$dir/backing" "$dir/mnt"
    if [ ! -x "$faultfs" ]; then
        echo "faultfs-mount: $faultfs was not built (libfuse3-dev missing?): the fault cases will skip"
        exit 0
    fi
    if [ ! -w /dev/fuse ]; then
        echo "faultfs-mount: no usable /dev/fuse: the fault cases will skip"
        exit 0
    fi
    setsid "$faultfs" -f "$dir/backing" "$dir/mnt" </dev/null >"$dir/faultfs.log" 2>&1 &
    server=$!
    echo "$server" >"$dir/pid"
    for _ in $(seq 100); do
        [ -e "$dir/mnt/.faultfs" ] && break
        sleep 0.1
    done
    if [ ! -e "$dir/mnt/.faultfs" ]; then
        echo "faultfs-mount: cannot mount: $(cat "$dir/faultfs.log"): the fault cases will skip"
        stop
        exit 0
    fi
    # Ends the server (which unmounts) once the test run is gone.
    setsid bash -c "while kill -0 $run && kill -0 $server; do sleep 1; done; kill $server" \
        </dev/null >/dev/null 2>&1 &
    echo "faultfs-mount: $dir/mnt"
    ;;
stop)
    stop
    ;;
*)
    echo "usage: faultfs-mount.sh start DIR FAULTFS | stop DIR" >&2
    exit 2
    ;;
esac
