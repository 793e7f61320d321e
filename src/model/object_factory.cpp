#include <atomic>

#include "model/zem_box.h"
#include "model/zem_object.h"

namespace zem {

namespace {

// End of the chain: the kinds of this folder; images, text and buttons install their own
// factories in front of it.
TZemObject* BaseFactory(const WideString& kind, TZemObject* parent, const WideString& guid) {
  if (kind == u"box") return TZemObject::Create<TZemBox>(parent, guid);
  if (kind == u"frame") return TZemObject::Create<TZemFrame>(parent, guid);
  return nullptr;
}

std::atomic<TZemObjectFactory> g_head{&BaseFactory};

}  // namespace

TZemObjectFactory InstallObjectFactory(TZemObjectFactory factory) { return g_head.exchange(factory); }

TZemObject* CreateZemObject(const WideString& kind, TZemObject* parent, const WideString& guid) {
  return g_head.load()(kind, parent, guid);
}

}  // namespace zem
