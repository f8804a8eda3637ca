#include "SelfSignedCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace sandbox {

SelfSignedCertificate SelfSignedCertificate::generate(const std::string& ipAddress, bool expired,
                                                      const SelfSignedCertificate* keyOf)
{
    SelfSignedCertificate result;
    if (keyOf)
        result.m_key = keyOf->m_key;
    else
        result.m_key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free);
    result.m_x509.reset(X509_new(), X509_free);
    X509* cert = result.m_x509.get();
    if (!result.m_key || !cert) throw std::runtime_error("cannot create a certificate");

    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), expired ? -7 * 24 * 3600 : -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), expired ? -24 * 3600 : 7 * 24 * 3600);
    X509_set_pubkey(cert, result.m_key.get());
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(ipAddress.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(cert, name);
    const bool isAddress = ipAddress.find_first_not_of("0123456789.:") == std::string::npos;
    const std::string san = (isAddress ? "IP:" : "DNS:") + ipAddress;
    if (X509_EXTENSION* extension =
            X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name, san.c_str())) {
        X509_add_ext(cert, extension, -1);
        X509_EXTENSION_free(extension);
    }
    if (X509_sign(cert, result.m_key.get(), EVP_sha256()) == 0)
        throw std::runtime_error("cannot sign the certificate");
    return result;
}

std::string SelfSignedCertificate::pem() const
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, m_x509.get());
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, size_t(size));
    BIO_free(bio);
    return text;
}

} // namespace sandbox
