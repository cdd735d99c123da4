# Sourced by the CI scripts. install_missing PACKAGE...: installs, in one
# apt-get run, those of the Debian packages a fresh machine lacks.
install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    ((${#missing[@]} > 0)) || return 0
    echo "installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}
