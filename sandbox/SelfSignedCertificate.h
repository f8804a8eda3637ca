#pragma once

#include <memory>
#include <string>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace sandbox {

// A throwaway certificate for the sandbox's HTTPS mode, with a fresh key each time. No
// client trusts it, which is the point: tests show that an untrusted certificate is
// refused, and that one the user trusted is taken only while it stays the same.
class SelfSignedCertificate {
public:
    // For `ipAddress` (or a host name), with a fresh key unless `keyOf` lends its own;
    // `expired` makes it one that ran out yesterday.
    static SelfSignedCertificate generate(const std::string& ipAddress, bool expired = false,
                                          const SelfSignedCertificate* keyOf = nullptr);

    X509* x509() const { return m_x509.get(); }
    EVP_PKEY* key() const { return m_key.get(); }
    // The certificate in PEM, as a client would read it.
    std::string pem() const;

private:
    std::shared_ptr<X509> m_x509;
    std::shared_ptr<EVP_PKEY> m_key;
};

} // namespace sandbox
