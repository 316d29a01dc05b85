#include "link/addressforms.h"

#include <QStringList>

#include <array>

namespace {

const std::array<AddressForm, 6> Forms{{
    {"", Carriage::Local, false, nullptr, "", MakeSerialPort},
    {"rfc2217", Carriage::Rfc2217, false, nullptr,
     "Telnet mit RFC 2217; stellt 2400 Baud 8N1 selbst ein", MakeNetworkPort},
    {"socket", Carriage::Raw, false, nullptr, "rohes TCP; die Leitung stellt der Server ein",
     MakeNetworkPort},
    {"tcp", Carriage::Raw, false, "socket", "", MakeNetworkPort},
    {"rfc2217+tls", Carriage::Rfc2217, true, nullptr, "wie rfc2217://, in TLS mit Zertifikaten",
     MakeTlsPort},
    {"socket+tls", Carriage::Raw, true, nullptr, "wie socket://, in TLS mit Zertifikaten",
     MakeTlsPort},
}};

} // namespace

const AddressForm &AddressForm::written() const
{
    const AddressForm *form = aliasOf ? FormOfScheme(QLatin1String(aliasOf)) : nullptr;
    return form ? *form : *this;
}

std::span<const AddressForm> AddressForms()
{
    return Forms;
}

const AddressForm &LocalForm()
{
    return Forms[0];
}

const AddressForm *FormOfScheme(const QString &scheme)
{
    for (const AddressForm &form : Forms)
        if (form.isNetwork() &&
            scheme.compare(QLatin1String(form.scheme), Qt::CaseInsensitive) == 0)
            return &form;
    return nullptr;
}

namespace {

QString Listed(QStringList items)
{
    const QString last = items.takeLast();
    return items.isEmpty() ? last
                           : items.join(QStringLiteral(", ")) + QStringLiteral(" oder ") + last;
}

} // namespace

QString SchemeList()
{
    QStringList schemes;
    for (const AddressForm &form : Forms)
        if (form.isNetwork())
            schemes << QLatin1String(form.scheme) + QStringLiteral("://");
    return Listed(schemes);
}

QString AddressFormList()
{
    QStringList forms;
    for (const AddressForm &form : Forms)
        if (form.isNetwork() && !form.aliasOf)
            forms << QLatin1String(form.scheme) + QStringLiteral("://HOST:PORT");
    return Listed(forms);
}
