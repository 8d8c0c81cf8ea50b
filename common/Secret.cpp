#include "common/Secret.h"

#include <QByteArray>
#include <QString>

#include <cstring>

namespace {

// Overwrites everything the characters' allocation holds, also what lies
// before its start (removed from the front) and after its end (removed from
// the back, or room kept for growing).
template <typename Text> void Wipe(Text &text) {
  auto &data = text.data_ptr();
  if (!data.isShared()) {
    auto *start = data.data() - data.freeSpaceAtBegin();
    explicit_bzero(start, std::size_t(data.constAllocatedCapacity()) * sizeof(*start));
  }
  text = Text();
}

} // namespace

void WipeText(QString &text) { Wipe(text); }

void WipeBytes(QByteArray &bytes) { Wipe(bytes); }

void WipeSharedBytes(const QByteArray &bytes) {
  if (!bytes.isEmpty())
    explicit_bzero(const_cast<char *>(bytes.constData()), std::size_t(bytes.size()));
}

void WipeCharacters(char *text) {
  if (text)
    explicit_bzero(text, std::strlen(text));
}
