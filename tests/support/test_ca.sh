# The test's certificate for localhost (localhost.crt and .key beside this
# file, made once, valid from 2025 for a hundred years, by `faketime
# 2025-01-01 openssl req -x509 -newkey rsa:2048 -nodes -days 36500 -subj
# /CN=localhost -addext subjectAltName=DNS:localhost`), trusted as its
# own authority by everything started in the test's mount namespace and
# nowhere else. Sourced after desktop.sh by a test that runs under unshare
# --mount; sets TEST_CA_CERT and TEST_CA_KEY, the server's certificate and
# key.
# shellcheck shell=bash

trust_test_ca() {
  TEST_CA_CERT=$(realpath "$(dirname "${BASH_SOURCE[0]}")/localhost.crt")
  TEST_CA_KEY=${TEST_CA_CERT%.crt}.key
  # The system's store with it added, in both the forms readers take.
  local certs=$WORK/certs
  cp -a /etc/ssl/certs "$certs"
  cp "$TEST_CA_CERT" "$certs/$(openssl x509 -hash -noout -in "$TEST_CA_CERT").0"
  cat "$TEST_CA_CERT" >>"$certs/ca-certificates.crt"
  mount --bind "$certs" /etc/ssl/certs || fail "cannot trust the test certificate"
}
