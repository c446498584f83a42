// The interface through which the objects of a page (texts, masks, buttons, embedded active
// objects, collections) take part in events. These classes carry only default answers: fixed
// values for layout questions and false for every request of host reports. Classes that
// implement real page objects derive from them.
#pragma once

#include "CommonObjectBase.h"

class ActiveObject;
class COLayout;
class DynaButton;
class DynaRadio;
class EmptyPicture;
class OnButton;
class TextObject;
class TransformMatrix;

struct tagPOINT32 {
    long x;
    long y;
};

// A page object as navigation sees it.
class ICommonObject : public CommonObjectBase {
public:
    virtual void SetPos(int x, int y) = 0;
    virtual void SetPos(tagPOINT32 point) = 0;
    virtual bool HasFixedWidth() = 0;
    virtual bool HasFixedHeight() = 0;
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;
    virtual ICommonObject* GetSibling() = 0;
    virtual ICommonObject* GetChild() = 0;
    virtual ICommonObject* GetFirstLivingChild() = 0;
    virtual bool RequestPosChangedEvents() = 0;
    virtual bool RequestKilledEvents(ActiveObject* object) = 0;
    virtual bool RequestKilledEvents(OnButton* button) = 0;
    virtual bool RequestClickEvents() = 0;
    virtual bool RequestMouseMoveEvents() = 0;
    virtual bool RequestDragNDropEvents() = 0;
    virtual void Arrange() = 0;
    virtual void ArrangeSelf() = 0;
    virtual void Recalc() = 0;
    virtual void Redraw() = 0;
    virtual void KillObject() = 0;
    virtual char* DumpSequence(bool verbose, char* buffer, int size) = 0;
};

class CommonObject : public ICommonObject {
public:
    explicit CommonObject(ICommonObject* sibling = nullptr) : m_sibling(sibling) {}

    CommonObject* CastIfCommonObject() override { return this; }
    void ExportObject() override {}

    void SetPos(int, int) override {}
    void SetPos(tagPOINT32 point) override { SetPos(static_cast<int>(point.x), static_cast<int>(point.y)); }
    bool HasFixedWidth() override { return true; }
    bool HasFixedHeight() override { return true; }
    void SetWidth(int) override {}
    void SetHeight(int) override {}
    ICommonObject* GetSibling() override { return m_sibling; }
    ICommonObject* GetChild() override { return nullptr; }
    ICommonObject* GetFirstLivingChild() override { return nullptr; }
    bool RequestPosChangedEvents() override { return false; }
    bool RequestKilledEvents(ActiveObject*) override { return false; }
    bool RequestKilledEvents(OnButton*) override { return false; }
    bool RequestClickEvents() override { return false; }
    bool RequestMouseMoveEvents() override { return false; }
    bool RequestDragNDropEvents() override { return false; }
    void Arrange() override {}
    void ArrangeSelf() override {}
    void Recalc() override {}
    void Redraw() override {}
    void KillObject() override {}
    char* DumpSequence(bool, char*, int) override { return nullptr; }

protected:
    ICommonObject* m_sibling;  // the next object in the parent collection
};

// A page object that contains others: what a child's parent link points to. Destroying a
// collection destroys what it contains.
class ICommonObjectCollection : public CommonObject {
public:
    using CommonObject::CommonObject;
};

class CommonObjectText : public CommonObject {
public:
    CommonObjectText(const char* text, TextObject* textObject) : m_text(text), m_textObject(textObject) {}

    const char* GetTextContent() const { return m_text; }
    TextObject* GetTextObject() const { return m_textObject; }

protected:
    const char* m_text;
    TextObject* m_textObject;
};

class CommonObjectObject : public CommonObject {
public:
    explicit CommonObjectObject(ActiveObject* activeObject) : m_activeObject(activeObject) {}

    virtual ActiveObject* GetActiveObject() { return m_activeObject; }

protected:
    ActiveObject* m_activeObject;
};

class CommonObjectButton : public CommonObject {
public:
    explicit CommonObjectButton(OnButton* button) : m_button(button) {}

    virtual OnButton* GetOnButton() { return m_button; }

protected:
    OnButton* m_button;
};

class CommonObjectMask : public CommonObject {
public:
    CommonObjectMask(EmptyPicture* emptyPicture, TransformMatrix* transformMatrix)
        : m_emptyPicture(emptyPicture), m_transformMatrix(transformMatrix)
    {
    }

    // A mask takes the size its page gives it.
    bool HasFixedWidth() override { return false; }
    bool HasFixedHeight() override { return false; }

protected:
    virtual EmptyPicture* GetEmptyPicture() { return m_emptyPicture; }
    virtual TransformMatrix* GetTransformMatrix() { return m_transformMatrix; }

    EmptyPicture* m_emptyPicture;
    TransformMatrix* m_transformMatrix;
};

class CommonObjectCollection : public ICommonObjectCollection {
public:
    CommonObjectCollection(COLayout* layout, ICommonObject* firstChild)
        : m_layout(layout), m_inArrange(false), m_firstChild(firstChild)
    {
    }

    ICommonObject* GetChild() override { return m_firstChild; }
    COLayout* GetLayout() const { return m_layout; }
    bool InArrange() const { return m_inArrange; }

protected:
    COLayout* m_layout;
    bool m_inArrange;
    ICommonObject* m_firstChild;
};

// The page's button object, as far as the event system reads it.
class OnButton {
public:
    OnButton(long state, short zOrder, DynaRadio* radio, DynaButton* button)
        : m_state(state), m_zOrder(zOrder), m_radio(radio), m_button(button)
    {
    }

    DynaButton* GetDynaButton() const { return m_button; }
    DynaRadio* GetDynaRadio() const { return m_radio; }
    int GetZOrder() const { return m_zOrder; }
    bool IsHidden() const { return m_state == kHidden; }
    bool IsActive() const { return m_state == kActive || m_state == kBothActive; }
    bool IsRActive() const { return m_state == kRActive || m_state == kBothActive; }

private:
    static constexpr long kHidden = 0;
    static constexpr long kActive = 5;
    static constexpr long kRActive = 7;
    static constexpr long kBothActive = 9;

    long m_state;
    short m_zOrder;
    DynaRadio* m_radio;
    DynaButton* m_button;
};
