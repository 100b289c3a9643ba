#!/usr/bin/env bash
# Serves the sample catalogue with nginx on loopback, for the tests and the demo.
#
#   tools/catalogue-server.sh start BUILD_DIR   generate BUILD_DIR/catalogue (when missing or made by an
#                                               older generator) and start nginx on a free port
#   tools/catalogue-server.sh stop BUILD_DIR    stop it
#
# Everything of the server lives in BUILD_DIR/catalogue-server/: nginx.conf, nginx.pid, access.log
# (with the Range and Referer headers of every request), error.log, and base-url, which holds the
# base address ("http://127.0.0.1:PORT/") that tests and the demo read. Below the base, slow/ is the
# same tree at 256 KB/s per request, demo/ the same tree with its packages at 64 KB/s, and tour/ the
# same tree with its packages at 32 KB/s and the day list answered after 1.5 s. nginx runs as the
# current user. Several build folders can each run their own server at the same time.
set -euo pipefail

usage() {
    echo "usage: $0 start|stop BUILD_DIR" >&2
    exit 2
}
[ $# -eq 2 ] || usage
action=$1
build=$(mkdir -p "$2" && cd "$2" && pwd)
top="$(cd "$(dirname "$0")/.." && pwd)"
tree="$build/catalogue"
dir="$build/catalogue-server"
conf="$dir/nginx.conf"
pidfile="$dir/nginx.pid"
mkdir -p "$dir"

# One start or stop at a time per build folder.
exec 9>"$dir/lock"
flock 9

nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

running_pid() {
    local pid
    pid=$(cat "$pidfile" 2>/dev/null || true)
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        echo "$pid"
    fi
}

stop_server() {
    local pid
    pid=$(running_pid)
    if [ -n "$pid" ]; then
        kill -TERM "$pid" 2>/dev/null || true
        # nginx removes its pid file as it exits (an exited master may linger as a zombie).
        for _ in $(seq 100); do
            [ -e "$pidfile" ] && kill -0 "$pid" 2>/dev/null || break
            sleep 0.02
        done
        if kill -0 "$pid" 2>/dev/null; then
            kill -KILL "$pid" 2>/dev/null || true
        fi
    fi
    rm -f "$pidfile" "$dir/base-url"
}

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

write_config() {
    local port=$1 user_line="" echo_line="" late_list=""
    if [ "$(id -u)" -eq 0 ]; then
        # Without this the workers of a root master would switch to "nobody".
        user_line="user $(id -un) $(id -gn);"
    fi
    # nginx-light brings the echo module; tour/ uses it to answer the day's list late (without it
    # the list comes at once, and nginx still starts).
    if [ -f /usr/lib/nginx/modules/ngx_http_echo_module.so ]; then
        echo_line="load_module /usr/lib/nginx/modules/ngx_http_echo_module.so;"
        late_list='location ~ ^/tour/(file/cls/[0-9]+\.xml)$ { set $list /$1; echo_sleep 1.5; echo_exec $list; }'
    fi
    mkdir -p "$dir/temp"
    cat >"$conf" <<EOF
# Written by tools/catalogue-server.sh; rewritten at every start.
$echo_line
$user_line
daemon on;
worker_processes 1;
pid $pidfile;
error_log $dir/error.log warn;
events {
    worker_connections 256;
}
http {
    types {
        application/zip zip;
        image/gif gif;
        image/jpeg jpg;
        image/png png;
        text/xml xml;
        text/plain txt;
    }
    default_type application/octet-stream;
    log_format marlune '\$remote_addr [\$time_local] "\$request" \$status \$body_bytes_sent '
                       'range="\$http_range" referer="\$http_referer"';
    access_log $dir/access.log marlune;
    client_body_temp_path $dir/temp/body;
    proxy_temp_path $dir/temp/proxy;
    fastcgi_temp_path $dir/temp/fastcgi;
    uwsgi_temp_path $dir/temp/uwsgi;
    scgi_temp_path $dir/temp/scgi;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 30;
    server {
        listen 127.0.0.1:$port;
        server_name localhost;
        root $tree;
        location / {
        }
        # The same tree at a modem's pace, for tests that pause, resume or remove mid-transfer.
        location /slow/ {
            alias $tree/;
            limit_rate 256k;
        }
        # The same tree for the demo: the packages at a pace a person can watch, pause and continue.
        location /demo/ {
            alias $tree/;
        }
        location /demo/download/ {
            alias $tree/download/;
            limit_rate 64k;
        }
        # The tree for the end-to-end day: its day list answered after 1.5 s, so that the splash
        # stays up long enough to be seen, and its packages at 32 KB/s, so that large games are
        # still running after a quit and a start.
        location /tour/ {
            alias $tree/;
        }
        location /tour/download/ {
            alias $tree/download/;
            limit_rate 32k;
        }
        $late_list
    }
}
EOF
}

case "$action" in
start)
    stamp_now=$(sha256sum "$top/tools/gen_catalogue.py" | cut -d' ' -f1)
    stamp_tree=$(cat "$tree/.generator" 2>/dev/null || true)
    if [ "$stamp_now" != "$stamp_tree" ]; then
        stop_server
        python3 "$top/tools/gen_catalogue.py" server --out "$tree"
    fi
    stop_server
    for attempt in 1 2 3 4 5; do
        port=$(free_port)
        write_config "$port"
        if "$nginx_bin" -p "$dir" -c "$conf" -e "$dir/error.log" 2>>"$dir/error.log" 9>&- </dev/null >/dev/null; then
            # The master has bound the port once it has written its pid file.
            for _ in $(seq 100); do
                [ -s "$pidfile" ] && break
                sleep 0.02
            done
            if [ -n "$(running_pid)" ]; then
                echo "http://127.0.0.1:$port/" >"$dir/base-url"
                echo "catalogue server: http://127.0.0.1:$port/ serving $tree"
                exit 0
            fi
        fi
        echo "nginx did not start on port $port (attempt $attempt)" >&2
        stop_server
    done
    echo "catalogue server: nginx failed to start, see $dir/error.log" >&2
    exit 1
    ;;
stop)
    stop_server
    ;;
*)
    usage
    ;;
esac
