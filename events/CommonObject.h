// The interface through which the objects of a page (texts, masks, buttons, embedded active
// objects, collections) take part in events. These classes carry only default answers: fixed
// values for layout questions and false for every request of host reports. Classes that
// implement real page objects derive from them. Every member is defined out of line, so that
// the executable exports each one by name.
#pragma once

#include "AfxExport.h"
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
class CORVANE_API ICommonObject : public CommonObjectBase {
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

class CORVANE_API CommonObject : public ICommonObject {
public:
    explicit CommonObject(ICommonObject* sibling = nullptr);

    CommonObject* CastIfCommonObject() override;
    void ExportObject() override;

    void SetPos(int, int) override;
    void SetPos(tagPOINT32 point) override;
    bool HasFixedWidth() override;
    bool HasFixedHeight() override;
    void SetWidth(int) override;
    void SetHeight(int) override;
    ICommonObject* GetSibling() override;
    ICommonObject* GetChild() override;
    ICommonObject* GetFirstLivingChild() override;
    bool RequestPosChangedEvents() override;
    bool RequestKilledEvents(ActiveObject*) override;
    bool RequestKilledEvents(OnButton*) override;
    bool RequestClickEvents() override;
    bool RequestMouseMoveEvents() override;
    bool RequestDragNDropEvents() override;
    void Arrange() override;
    void ArrangeSelf() override;
    void Recalc() override;
    void Redraw() override;
    void KillObject() override;
    char* DumpSequence(bool, char*, int) override;

protected:
    ICommonObject* m_sibling;  // the next object in the parent collection
};

// A page object that contains others: what a child's parent link points to. Destroying a
// collection destroys what it contains.
class CORVANE_API ICommonObjectCollection : public CommonObject {
public:
    using CommonObject::CommonObject;
};

class CORVANE_API CommonObjectText : public CommonObject {
public:
    CommonObjectText(const char* text, TextObject* textObject);

    const char* GetTextContent() const;
    TextObject* GetTextObject() const;

protected:
    const char* m_text;
    TextObject* m_textObject;
};

class CORVANE_API CommonObjectObject : public CommonObject {
public:
    explicit CommonObjectObject(ActiveObject* activeObject);

    virtual ActiveObject* GetActiveObject();

protected:
    ActiveObject* m_activeObject;
};

class CORVANE_API CommonObjectButton : public CommonObject {
public:
    explicit CommonObjectButton(OnButton* button);

    virtual OnButton* GetOnButton();

protected:
    OnButton* m_button;
};

class CORVANE_API CommonObjectMask : public CommonObject {
public:
    CommonObjectMask(EmptyPicture* emptyPicture, TransformMatrix* transformMatrix);

    // A mask takes the size its page gives it.
    bool HasFixedWidth() override;
    bool HasFixedHeight() override;

protected:
    virtual EmptyPicture* GetEmptyPicture();
    virtual TransformMatrix* GetTransformMatrix();

    EmptyPicture* m_emptyPicture;
    TransformMatrix* m_transformMatrix;
};

class CORVANE_API CommonObjectCollection : public ICommonObjectCollection {
public:
    CommonObjectCollection(COLayout* layout, ICommonObject* firstChild);

    ICommonObject* GetChild() override;
    COLayout* GetLayout() const;
    bool InArrange() const;

protected:
    COLayout* m_layout;
    bool m_inArrange;
    ICommonObject* m_firstChild;
};

// The page's button object, as far as the event system reads it.
class CORVANE_API OnButton {
public:
    OnButton(long state, short zOrder, DynaRadio* radio, DynaButton* button);

    DynaButton* GetDynaButton() const;
    DynaRadio* GetDynaRadio() const;
    int GetZOrder() const;
    bool IsHidden() const;
    bool IsActive() const;
    bool IsRActive() const;

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
