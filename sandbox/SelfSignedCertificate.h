#pragma once

#include <memory>
#include <string>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace sandbox {

// A throwaway certificate for the sandbox's HTTPS mode. No client trusts it, which is the
// point: tests show that an untrusted certificate is refused.
class SelfSignedCertificate {
public:
    static SelfSignedCertificate generate(const std::string& ipAddress);

    X509* x509() const { return m_x509.get(); }
    EVP_PKEY* key() const { return m_key.get(); }

private:
    std::shared_ptr<X509> m_x509;
    std::shared_ptr<EVP_PKEY> m_key;
};

} // namespace sandbox
