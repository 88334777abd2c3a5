#pragma once

#include <filesystem>

namespace zalvo {

// Certificates for the HTTPS radio tests, made with openssl in the test's folder: a test CA the player
// is told to trust (SSL_CERT_FILE), a server certificate it signed for 127.0.0.1 and localhost, one for
// the same names signed by nobody but itself, and one the CA signed for wrong.example only.
class TestCertificates final {
public:
    struct Identity {
        std::filesystem::path certificate;
        std::filesystem::path key;
    };

    // Makes them all; throws std::runtime_error when openssl fails or is missing.
    explicit TestCertificates(const std::filesystem::path& folder);

    // Whether this machine has openssl.
    static bool available();

    const std::filesystem::path& authority() const { return ca.certificate; }
    const Identity& trusted() const { return signedServer; }
    const Identity& selfSigned() const { return selfSignedServer; }
    const Identity& wrongHost() const { return wrongHostServer; }

private:
    Identity ca;
    Identity signedServer;
    Identity selfSignedServer;
    Identity wrongHostServer;
};

} // namespace zalvo
