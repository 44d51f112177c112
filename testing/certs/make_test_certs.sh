#!/usr/bin/env bash
# Writes throw-away TLS material for the network tests into DIR:
#   ca.pem            the CA the tests trust (QV_CA_FILE)
#   server.pem/.key   127.0.0.1 and localhost, signed by ca.pem
#   wronghost.pem/.key  signed by ca.pem for another host name only
#   untrusted.pem/.key  127.0.0.1, signed by a CA nobody trusts
set -euo pipefail
dir="$1"
mkdir -p "$dir"
cd "$dir"
export OPENSSL_CONF=/dev/null

make_ca() {  # name
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3 -subj "/CN=$1" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$1.key" -out "$1.pem" 2>/dev/null
}

make_server() {  # name ca subjectAltName
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=$1" -keyout "$1.key" -out "$1.csr" 2>/dev/null
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' \
    "$3" >"$1.ext"
  openssl x509 -req -sha256 -days 3 -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -set_serial "0x$(openssl rand -hex 8)" \
    -extfile "$1.ext" -out "$1.pem" 2>/dev/null
  rm -f "$1.csr" "$1.ext"
}

make_ca ca
make_ca otherca
make_server server ca "IP:127.0.0.1,DNS:localhost"
make_server wronghost ca "DNS:wrong-host.invalid"
make_server untrusted otherca "IP:127.0.0.1,DNS:localhost"
