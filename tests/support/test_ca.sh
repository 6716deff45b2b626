# A certificate authority of the test's own, trusted by everything started
# in the test's mount namespace and nowhere else, and a server certificate
# from it for localhost and 127.0.0.1. Sourced after desktop.sh by a test
# that runs under unshare --mount; sets TEST_CA_CERT and TEST_CA_KEY, the
# server's certificate and key.
# shellcheck shell=bash

trust_test_ca() {
  local d=$WORK/ca
  mkdir -p "$d"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=tallowin-test-ca \
    -keyout "$d/ca.key" -out "$d/ca.pem" 2>/dev/null || fail "no CA"
  openssl req -newkey rsa:2048 -nodes -subj /CN=localhost -keyout "$d/server.key" \
    -out "$d/server.csr" 2>/dev/null || fail "no server key"
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' >"$d/ext"
  openssl x509 -req -in "$d/server.csr" -CA "$d/ca.pem" -CAkey "$d/ca.key" -CAcreateserial \
    -days 2 -extfile "$d/ext" -out "$d/server.pem" 2>/dev/null || fail "no server certificate"
  # The system's store with the CA added, in both the forms readers take.
  cp -a /etc/ssl/certs "$d/certs"
  cp "$d/ca.pem" "$d/certs/tallowin-test-ca.pem"
  ln -s tallowin-test-ca.pem "$d/certs/$(openssl x509 -hash -noout -in "$d/ca.pem").0"
  cat "$d/ca.pem" >>"$d/certs/ca-certificates.crt"
  mount --bind "$d/certs" /etc/ssl/certs || fail "cannot trust the test CA"
  chmod 644 "$d/server.key"  # dovecot reads it as root, then drops privileges
  TEST_CA_CERT=$d/server.pem
  TEST_CA_KEY=$d/server.key
}
