// Runs a piece of code when a scope ends, also when an exception passes.
#pragma once

#include <utility>

template <typename F> class ScopeExit {
public:
  explicit ScopeExit(F f) : m_f(std::move(f)) {}
  ~ScopeExit() { m_f(); }
  ScopeExit(const ScopeExit &) = delete;
  ScopeExit &operator=(const ScopeExit &) = delete;

private:
  F m_f;
};
