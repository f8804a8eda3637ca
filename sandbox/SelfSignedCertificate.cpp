#include "SelfSignedCertificate.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace sandbox {

SelfSignedCertificate SelfSignedCertificate::generate(const std::string& ipAddress)
{
    SelfSignedCertificate result;
    result.m_key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free);
    result.m_x509.reset(X509_new(), X509_free);
    X509* cert = result.m_x509.get();
    if (!result.m_key || !cert) throw std::runtime_error("cannot create a certificate");

    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7 * 24 * 3600);
    X509_set_pubkey(cert, result.m_key.get());
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(ipAddress.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(cert, name);
    const std::string san = "IP:" + ipAddress;
    if (X509_EXTENSION* extension =
            X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name, san.c_str())) {
        X509_add_ext(cert, extension, -1);
        X509_EXTENSION_free(extension);
    }
    if (X509_sign(cert, result.m_key.get(), EVP_sha256()) == 0)
        throw std::runtime_error("cannot sign the certificate");
    return result;
}

} // namespace sandbox
