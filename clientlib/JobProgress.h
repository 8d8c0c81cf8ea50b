// What a long job on the connection's thread has done so far. The job
// writes it, the interface thread polls it while it waits (a progress
// window), so both threads share it.
#pragma once

#include <QtGlobal>

#include <atomic>

struct JobProgress {
  std::atomic<qint64> done{0};       // statements run, or objects read
  std::atomic<qint64> total{0};      // objects to read; 0 while not known
  std::atomic<qint64> bytes{0};      // of a file: up to the end of the last statement run
  std::atomic<qint64> bytesTotal{0}; // the file's size
};
