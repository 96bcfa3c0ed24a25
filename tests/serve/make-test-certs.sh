#!/bin/sh
# For the MQTT tests, in folder $1: a CA, the broker's certificate it signs for localhost and
# 127.0.0.1 (server.crt) and one for another name (elsewhere.crt), a second CA that signed
# nothing, and the broker's password file for user "meter" with password $2.
set -e
cd "$1"
key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
for ca in ca other-ca; do
  openssl req -x509 $key -days 2 -subj "/CN=pqlink test $ca" -keyout $ca.key -out $ca.crt 2>/dev/null
done
openssl req $key -subj /CN=localhost -keyout server.key -out server.csr 2>/dev/null
for name in server:DNS:localhost,IP:127.0.0.1 elsewhere:DNS:elsewhere.example; do
  printf 'subjectAltName=%s\n' "${name#*:}" >san.ext
  openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
    -extfile san.ext -out "${name%%:*}.crt" 2>/dev/null
done
mosquitto_passwd -c -b passwd meter "$2"
