#include "ui/win32/drop_target.h"

#include <shellapi.h>

#include "ui/win32/late_bound.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

FORMATETC FormatOf(CLIPFORMAT format) {
  return {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

// The first format of the drop that the box takes, if any.
CLIPFORMAT Wanted(form::Drops drops) {
  if (drops == form::Drops::kFiles) return CF_HDROP;
  if (drops == form::Drops::kLinks) return CF_UNICODETEXT;
  return 0;
}

// Up to the first null, never past the memory's end.
std::string TextIn(HGLOBAL memory) {
  const auto* text = static_cast<const wchar_t*>(GlobalLock(memory));
  if (!text) return {};
  const std::size_t most = GlobalSize(memory) / sizeof(wchar_t);
  std::size_t length = 0;
  while (length < most && text[length] != L'\0') ++length;
  std::string utf8 = Narrow(std::wstring(text, length));
  GlobalUnlock(memory);
  return utf8;
}

}  // namespace

std::vector<std::string> DroppedPaths(HDROP drop) {
  std::vector<std::string> paths;
  auto* query = late::DragQueryFileW.get();
  if (!query) return paths;
  const UINT count = query(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(query(drop, i, nullptr, 0), L'\0');
    query(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
    paths.push_back(Narrow(path));
  }
  return paths;
}

DropTarget::DropTarget(form::Drops drops, TakeFiles take_files, TakeText take_text)
    : drops_(drops), take_files_(std::move(take_files)), take_text_(std::move(take_text)) {}

HRESULT DropTarget::QueryInterface(REFIID iid, void** object) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG DropTarget::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG DropTarget::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

bool DropTarget::Takes(IDataObject* data) const {
  FORMATETC wanted = FormatOf(Wanted(drops_));
  return wanted.cfFormat && data && data->QueryGetData(&wanted) == S_OK;
}

HRESULT DropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  taking_ = Takes(data);
  *effect = taking_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
  return S_OK;
}

HRESULT DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  *effect = taking_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
  return S_OK;
}

HRESULT DropTarget::DragLeave() {
  taking_ = false;
  return S_OK;
}

HRESULT DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  *effect = DROPEFFECT_NONE;
  taking_ = false;
  auto* release = late::ReleaseStgMedium.get();
  FORMATETC wanted = FormatOf(Wanted(drops_));
  STGMEDIUM medium{};
  if (!release || !Takes(data) || data->GetData(&wanted, &medium) != S_OK) return S_OK;
  // Taken out before the box is told, which may show a message box.
  std::vector<std::string> paths;
  std::string text;
  if (wanted.cfFormat == CF_HDROP) paths = DroppedPaths(static_cast<HDROP>(medium.hGlobal));
  if (wanted.cfFormat == CF_UNICODETEXT) text = TextIn(medium.hGlobal);
  release(&medium);
  *effect = DROPEFFECT_COPY;
  if (wanted.cfFormat == CF_HDROP && take_files_) take_files_(paths);
  if (wanted.cfFormat == CF_UNICODETEXT && take_text_) take_text_(text);
  return S_OK;
}

}  // namespace orvanta::win32
