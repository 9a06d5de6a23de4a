#pragma once
// The items of an action-sheet menu (action_sheet_menu.h): a text, a pointer-sized data value
// (the sheet tables keep their row state there), flags, owned child items, and what choosing
// the item does.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CActionSheetItem {
 public:
  CActionSheetItem(std::string text, uintptr_t data) : text_(std::move(text)), data_(data) {}
  // Frees the children.
  virtual ~CActionSheetItem() = default;
  CActionSheetItem(const CActionSheetItem&) = delete;
  CActionSheetItem& operator=(const CActionSheetItem&) = delete;

  // Does what choosing the item means.
  virtual void Invoke() = 0;

  const std::string& text() const { return text_; }
  uintptr_t data() const { return data_; }
  int32_t flags() const { return flags_; }
  void set_flags(int32_t flags) { flags_ = flags; }
  std::vector<std::unique_ptr<CActionSheetItem>>& children() { return children_; }
  const std::vector<std::unique_ptr<CActionSheetItem>>& children() const { return children_; }

 private:
  std::string text_;
  uintptr_t data_;
  int32_t flags_ = 0;
  std::vector<std::unique_ptr<CActionSheetItem>> children_;
};

// An item that calls callback(argument); nothing when the callback is null.
template <class T>
class CActionSheetItemT : public CActionSheetItem {
 public:
  using Callback = void (*)(T argument);

  CActionSheetItemT(std::string text, uintptr_t data, Callback callback, T argument)
      : CActionSheetItem(std::move(text), data), callback_(callback), argument_(argument) {}

  void Invoke() override {
    if (callback_) callback_(argument_);
  }

 private:
  Callback callback_;
  T argument_;
};

// An item that calls a stored callable; nothing when it is empty.
class CActionSheetFunc : public CActionSheetItem {
 public:
  CActionSheetFunc(std::string text, std::function<void()> callable)
      : CActionSheetItem(std::move(text), 0), callable_(std::move(callable)) {}

  void Invoke() override {
    if (callable_) callable_();
  }

 private:
  std::function<void()> callable_;
};
