#include "sweep/SweepNames.h"

#include "platform/AppTitle.h"
#include "platform/ProgramPath.h"
#include "sweep/SweepEngine.h"
#include "sweep/SweepRules.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace kestrion::sweep {

namespace {

QString hresultText(com::HRESULT hr) {
    return QStringLiteral("0x") +
           QString::number(static_cast<uint32_t>(hr), 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

// One look-up into a buffer of the size the Resolver's contract gives; the Resolver's calls are the
// reentrant host-database ones, so several threads may ask the one object at a time.
QString askResolver(resolver::IWSResolver& object, const QByteArray& address) {
    std::string buffer(resolver::kHostNameChars, ' ');
    buffer.push_back('\0');
    object.GetHostByAddr(address.constData(), buffer.data());
    return hostNameFromBuffer(buffer.data(), resolver::kHostNameChars);
}

} // namespace

SweepNames::~SweepNames() {
    if (object_) {
        object_.reset();
        components_->freeUnusedLibraries();
    }
}

bool SweepNames::available() {
    if (!object_ && !unavailable_)
        create();
    return static_cast<bool>(object_);
}

QString SweepNames::lookUp(const QString& address) {
    if (!available())
        return QStringLiteral("Not available");
    const QByteArray text = address.toLatin1();
    QString name;
    observer_.wait([&] { name = askResolver(*object_.get(), text); });
    return name;
}

QStringList SweepNames::lookUpAll(const QStringList& addresses, int atOnce) {
    if (addresses.isEmpty())
        return {};
    if (!available())
        return QStringList(addresses.size(), QStringLiteral("Not available"));
    std::vector<QByteArray> texts;
    for (const QString& address : addresses)
        texts.push_back(address.toLatin1());
    std::vector<QString> names(texts.size());
    observer_.wait([&] {
        std::atomic<size_t> next{0};
        const auto work = [&] {
            for (size_t i = next++; i < texts.size(); i = next++)
                names[i] = askResolver(*object_.get(), texts[i]);
        };
        const size_t threads = std::min<size_t>(static_cast<size_t>(std::max(atOnce, 1)), texts.size());
        std::vector<std::thread> helpers;
        for (size_t t = 1; t < threads; ++t)
            helpers.emplace_back(work);
        work();
        for (std::thread& helper : helpers)
            helper.join();
    });
    return QStringList(names.begin(), names.end());
}

void SweepNames::create() {
    unavailable_ = true;
    if (!components_)
        return;
    const com::HRESULT hr =
        components_->createInstance(resolver::CLSID_WSResolver, resolver::IID_IWSResolver, object_.put());
    if (com::Succeeded(hr) && object_) {
        unavailable_ = false;
        return;
    }
    object_.reset();
    observer_.ask({platform::appTitle() + QStringLiteral(" Error"),
                   QStringLiteral("Host names are not available: the name resolver component could not be "
                                  "created (error %1). Answering addresses are listed with \"Not "
                                  "available\". Registering the Resolver library makes the names "
                                  "available:\n    %2/kregsvr %2/libResolver.so")
                       .arg(hresultText(hr), QString::fromStdString(platform::programFolder())),
                   platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::AnswerOk});
}

} // namespace kestrion::sweep
