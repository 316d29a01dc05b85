#include "link/clientidentity.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

template <auto Free> struct Deleter
{
    template <typename T> void operator()(T *p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free>>;
using Number = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;

QString LibraryWords()
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    return QString::fromLatin1(text);
}

QByteArray Drained(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, qsizetype(size));
}

bool AddExtension(X509 *certificate, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    const Extension extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

} // namespace

std::optional<ClientIdentity> MakeClientIdentity(const QString &name, int validDays, QString *why)
{
    const auto failed = [why](const char *step) {
        *why = QStringLiteral("%1: %2").arg(QLatin1String(step), LibraryWords());
        return std::nullopt;
    };
    const Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    if (!key)
        return failed("Schlüssel");
    const Certificate certificate(X509_new());
    if (!certificate || X509_set_version(certificate.get(), 2) != 1)
        return failed("Zertifikat");
    // A random serial number, as every self-signed certificate of a name must differ.
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        return failed("Zufall");
    serial[0] &= 0x7F;
    const Number number(BN_bin2bn(serial, sizeof serial, nullptr));
    if (!number || !BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get())))
        return failed("Seriennummer");
    if (!X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600) ||
        !X509_time_adj_ex(X509_getm_notAfter(certificate.get()), validDays, 0, nullptr))
        return failed("Gültigkeit");
    X509_NAME *subject = X509_get_subject_name(certificate.get());
    const QByteArray cn = name.toUtf8();
    if (X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char *>(cn.constData()),
                                   int(cn.size()), -1, 0) != 1 ||
        X509_set_issuer_name(certificate.get(), subject) != 1 ||
        X509_set_pubkey(certificate.get(), key.get()) != 1)
        return failed("Name");
    // No key usage and no CA:FALSE: a server that trusts the certificate itself (ser2net's
    // allowed_certs) takes it as its own issuer, which OpenSSL refuses where the key may not
    // sign certificates.
    if (!AddExtension(certificate.get(), NID_ext_key_usage, "clientAuth") ||
        !AddExtension(certificate.get(), NID_subject_key_identifier, "hash") ||
        // Several computers of one user put certificates of one name into one folder: the
        // key identifier lets the server find the right one among them.
        !AddExtension(certificate.get(), NID_authority_key_identifier, "keyid:always"))
        return failed("Erweiterungen");
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0)
        return failed("Signatur");

    const Bio certificateOut(BIO_new(BIO_s_mem()));
    const Bio keyOut(BIO_new(BIO_s_mem()));
    if (!certificateOut || !keyOut ||
        PEM_write_bio_X509(certificateOut.get(), certificate.get()) != 1 ||
        PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1)
        return failed("PEM");
    return ClientIdentity{Drained(certificateOut.get()), Drained(keyOut.get())};
}
