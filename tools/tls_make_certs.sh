#!/usr/bin/env bash
# Makes the certificates the TLS tests use, in the folder given (created if missing):
#   ca.pem                 test root, trusted by pointing SSL_CERT_FILE at it
#   trusted.{pem,key}      localhost / 127.0.0.1, issued by the root
#   selfsigned.{pem,key}   localhost / 127.0.0.1, signed by itself
#   expired.{pem,key}      localhost / 127.0.0.1, issued by the root, valid only in 2020
#   wronghost.{pem,key}    wrong.example, issued by the root
#   client.{pem,key,p12}   a client certificate, also as a PKCS#12 file without password
#   trust/                 the root as a hashed folder, for SSL_CERT_DIR
# Keys are made fresh on every run and never leave the folder.
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

newkey() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1" 2>/dev/null; }
local_names="subjectAltName=DNS:localhost,IP:127.0.0.1"

newkey ca.key
openssl req -x509 -new -key ca.key -out ca.pem -days 3650 \
  -subj "/C=US/O=Dovrant Test/CN=Dovrant Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"

issue() {  # name subject extension-line
  newkey "$1.key"
  openssl req -new -key "$1.key" -out "$1.csr" -subj "$2"
  printf '%s\nbasicConstraints=CA:FALSE\n' "$3" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 365 \
    -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
server_use="extendedKeyUsage=serverAuth"
issue trusted "/C=US/O=Dovrant Test/CN=localhost" "$local_names
$server_use"
issue wronghost "/C=US/O=Dovrant Test/CN=wrong.example" "subjectAltName=DNS:wrong.example
$server_use"
issue client "/C=US/O=Dovrant Test/CN=Dovrant Client" "extendedKeyUsage=clientAuth"
openssl pkcs12 -export -in client.pem -inkey client.key -out client.p12 -passout pass:

newkey selfsigned.key
openssl req -x509 -new -key selfsigned.key -out selfsigned.pem -days 365 \
  -subj "/C=US/O=Dovrant Self/CN=localhost" -addext "$local_names"

# Past dates need the ca command, which takes explicit start and end dates.
newkey expired.key
openssl req -new -key expired.key -out expired.csr -subj "/C=US/O=Dovrant Test/CN=localhost"
mkdir -p ca.db
: > ca.db/index.txt
echo 01 > ca.db/serial
cat > ca.cnf <<CNF
[ca]
default_ca = test_ca
[test_ca]
dir = ca.db
database = ca.db/index.txt
serial = ca.db/serial
new_certs_dir = ca.db
certificate = ca.pem
private_key = ca.key
default_md = sha256
policy = any
copy_extensions = none
x509_extensions = server
[any]
countryName = optional
organizationName = optional
commonName = supplied
[server]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
$local_names
CNF
openssl ca -batch -config ca.cnf -in expired.csr -out expired.pem -notext \
  -startdate 20200101000000Z -enddate 20200201000000Z 2>/dev/null

# The root again as a hashed folder, for trust through SSL_CERT_DIR.
mkdir -p trust
cp ca.pem trust/
openssl rehash trust 2>/dev/null || c_rehash trust >/dev/null
