#pragma once

#include <windows.h>

#include <objbase.h>

namespace vellmor::serial {

// COM must stay initialised on this thread until the last object of a query is
// released, so whatever holds those objects holds one of these too.
class ComScope {
 public:
  ComScope() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(m_result)) {
      CoUninitialize();
    }
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

  // A thread already in the multithreaded apartment can still make the calls;
  // it just must not be uninitialised by us.
  bool usable() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }
  HRESULT result() const { return m_result; }

 private:
  HRESULT m_result;
};

}  // namespace vellmor::serial
