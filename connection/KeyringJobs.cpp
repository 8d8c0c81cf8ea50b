// The keyring's jobs, built into the network module (common/NetworkModule.h).
#include "connection/KeyringJobs.h"

#include "common/NetworkModule.h"
#include "common/Secret.h"

#include <qt6keychain/keychain.h>

namespace {

Keyring::Answer answerOf(const QKeychain::Job &job) {
  using Outcome = Keyring::Outcome;
  switch (job.error()) {
  case QKeychain::NoError: {
    const auto *read = qobject_cast<const QKeychain::ReadPasswordJob *>(&job);
    if (!read)
      return {Outcome::Done, {}, {}};
    Keyring::Answer answer{Outcome::Done, read->textData(), {}};
    // The job keeps the password's bytes until it is deleted: overwritten
    // now, since nothing reads them again.
    WipeSharedBytes(read->binaryData());
    return answer;
  }
  case QKeychain::EntryNotFound: return {Outcome::NotFound, {}, {}};
  case QKeychain::AccessDenied:
  case QKeychain::AccessDeniedByUser:
    return {Outcome::Unavailable,
            {},
            QStringLiteral("der Zugriff auf den Schlüsselbund wurde "
                           "verweigert")};
  default: break;
  }
  const QString detail = job.errorString();
  return {Outcome::Unavailable,
          {},
          QStringLiteral("kein Schlüsselbund erreichbar") +
              (detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail))};
}

QKeychain::Job *newJob(const KeyringRequest &request) {
  QKeychain::Job *job = nullptr;
  switch (request.kind) {
  case KeyringRequest::Kind::Read: job = new QKeychain::ReadPasswordJob(request.service); break;
  case KeyringRequest::Kind::Write: {
    auto *write = new QKeychain::WritePasswordJob(request.service);
    write->setTextData(request.password);
    job = write;
    break;
  }
  case KeyringRequest::Kind::Remove: job = new QKeychain::DeletePasswordJob(request.service); break;
  }
  job->setKey(request.key);
  return job;
}

void Start(const KeyringRequest &request, QObject *context,
           std::function<void(Keyring::Answer)> finished) {
  QKeychain::Job *job = newJob(request);
  job->setAutoDelete(true);
  QObject::connect(
      job, &QKeychain::Job::finished, context,
      [finished = std::move(finished)](QKeychain::Job *done) { finished(answerOf(*done)); });
  job->start();
}

} // namespace

QW_NETWORK_MODULE_ENTRY const KeyringEntries *quellwerk_keyring_entries() {
  static const KeyringEntries entries{Start};
  return &entries;
}
