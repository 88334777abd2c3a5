#include "TestCertificates.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

namespace zalvo {

namespace {

// The extensions a CA, a server and a self-signed server certificate carry, as public ones do.
constexpr const char* extensions = R"([req]
distinguished_name = name
[name]
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[wrong]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:wrong.example
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[self]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
subjectKeyIdentifier = hash
)";

class Openssl final {
public:
    explicit Openssl(const std::filesystem::path& folder)
        : config(folder / "openssl.cnf"), log(folder / "openssl.log") {
        std::ofstream(config) << extensions;
    }

    void run(const std::string& arguments) const {
        const std::string command = "openssl " + arguments + " >>'" + log.string() + "' 2>&1";
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("openssl failed: " + command);
        }
    }

    // A new P-256 key in `identity.key` and a certificate for `name`, signed by `issuer` or, without
    // one, by the key itself.
    void make(const TestCertificates::Identity& identity, const std::string& name, const std::string& section,
              const TestCertificates::Identity* issuer, int serial) const {
        const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -noenc -keyout '" +
                                identity.key.string() + "' -subj '/CN=" + name + "' -config '" + config.string() + "'";
        if (issuer == nullptr) {
            run("req -x509 " + key + " -extensions " + section + " -days 30 -set_serial " + std::to_string(serial) +
                " -out '" + identity.certificate.string() + "'");
            return;
        }
        const std::string request = identity.certificate.string() + ".csr";
        run("req -new " + key + " -out '" + request + "'");
        run("x509 -req -in '" + request + "' -CA '" + issuer->certificate.string() + "' -CAkey '" +
            issuer->key.string() + "' -set_serial " + std::to_string(serial) + " -days 30 -extfile '" +
            config.string() + "' -extensions " + section + " -out '" + identity.certificate.string() + "'");
    }

private:
    std::filesystem::path config;
    std::filesystem::path log;
};

TestCertificates::Identity in(const std::filesystem::path& folder, const std::string& name) {
    return {folder / (name + ".pem"), folder / (name + ".key")};
}

} // namespace

TestCertificates::TestCertificates(const std::filesystem::path& folder)
    : ca(in(folder, "ca")), signedServer(in(folder, "server")), selfSignedServer(in(folder, "self-signed")),
      wrongHostServer(in(folder, "wrong-host")) {
    const Openssl openssl(folder);
    openssl.make(ca, "Zalvo Test CA", "ca", nullptr, 1);
    openssl.make(signedServer, "127.0.0.1", "server", &ca, 2);
    openssl.make(selfSignedServer, "127.0.0.1", "self", nullptr, 3);
    openssl.make(wrongHostServer, "wrong.example", "wrong", &ca, 4);
}

bool TestCertificates::available() {
    return std::system("command -v openssl >/dev/null 2>&1") == 0;
}

} // namespace zalvo
