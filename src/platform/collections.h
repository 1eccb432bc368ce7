// The framework's containers: CList (doubly linked, walked by POSITION), CStringList and
// CArray. Lists hold their elements by value in nodes of their own; a POSITION is a node.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/cobject.h"
#include "platform/cstring.h"
#include "platform/types.h"

template <class TYPE, class ARG_TYPE = const TYPE&>
class CList : public CObject {
    struct Node {
        Node* next = nullptr;
        Node* prev = nullptr;
        TYPE data{};
    };

public:
    // The framework allocates nodes in blocks of this size; nodes here are allocated one by
    // one, so the size is kept only to be reported.
    explicit CList(INT_PTR blockSize = 10) : m_blockSize(blockSize) {}
    ~CList() override { RemoveAll(); }
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;

    INT_PTR GetCount() const { return m_count; }
    INT_PTR GetSize() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    INT_PTR GetBlockSize() const { return m_blockSize; }

    TYPE& GetHead() { return m_head->data; }
    const TYPE& GetHead() const { return m_head->data; }
    TYPE& GetTail() { return m_tail->data; }
    const TYPE& GetTail() const { return m_tail->data; }

    POSITION AddHead(ARG_TYPE element) { return InsertBefore(GetHeadPosition(), element); }
    POSITION AddTail(ARG_TYPE element) { return InsertAfter(GetTailPosition(), element); }

    // Inserting before or after a null position adds at the head or the tail.
    POSITION InsertBefore(POSITION position, ARG_TYPE element)
    {
        Node* after = node(position);
        if (!after)
            after = m_head;
        Node* created = newNode(element);
        created->next = after;
        created->prev = after ? after->prev : nullptr;
        link(created);
        return pos(created);
    }

    POSITION InsertAfter(POSITION position, ARG_TYPE element)
    {
        Node* before = node(position);
        if (!before)
            before = m_tail;
        Node* created = newNode(element);
        created->prev = before;
        created->next = before ? before->next : nullptr;
        link(created);
        return pos(created);
    }

    TYPE RemoveHead()
    {
        TYPE value = std::move(m_head->data);
        RemoveAt(pos(m_head));
        return value;
    }

    TYPE RemoveTail()
    {
        TYPE value = std::move(m_tail->data);
        RemoveAt(pos(m_tail));
        return value;
    }

    void RemoveAt(POSITION position)
    {
        Node* doomed = node(position);
        (doomed->prev ? doomed->prev->next : m_head) = doomed->next;
        (doomed->next ? doomed->next->prev : m_tail) = doomed->prev;
        delete doomed;
        --m_count;
    }

    void RemoveAll()
    {
        while (m_head) {
            Node* next = m_head->next;
            delete m_head;
            m_head = next;
        }
        m_tail = nullptr;
        m_count = 0;
    }

    POSITION GetHeadPosition() const { return pos(m_head); }
    POSITION GetTailPosition() const { return pos(m_tail); }

    // Return the element at position and move position on (null after the last).
    TYPE& GetNext(POSITION& position) { return step(position, &Node::next); }
    const TYPE& GetNext(POSITION& position) const { return step(position, &Node::next); }
    TYPE& GetPrev(POSITION& position) { return step(position, &Node::prev); }
    const TYPE& GetPrev(POSITION& position) const { return step(position, &Node::prev); }

    TYPE& GetAt(POSITION position) { return node(position)->data; }
    const TYPE& GetAt(POSITION position) const { return node(position)->data; }
    void SetAt(POSITION position, ARG_TYPE element) { node(position)->data = element; }

    // The first element equal to value after startAfter (from the head when null).
    POSITION Find(ARG_TYPE value, POSITION startAfter = nullptr) const
    {
        Node* at = startAfter ? node(startAfter)->next : m_head;
        for (; at; at = at->next) {
            if (at->data == value)
                return pos(at);
        }
        return nullptr;
    }

    POSITION FindIndex(INT_PTR index) const
    {
        if (index < 0 || index >= m_count)
            return nullptr;
        Node* at = m_head;
        while (index-- > 0)
            at = at->next;
        return pos(at);
    }

private:
    static Node* node(POSITION position) { return reinterpret_cast<Node*>(position); }
    static POSITION pos(Node* n) { return reinterpret_cast<POSITION>(n); }

    static Node* newNode(ARG_TYPE element)
    {
        Node* created = new Node;
        created->data = element;
        return created;
    }

    // Links a node whose prev and next are already set.
    void link(Node* created)
    {
        (created->prev ? created->prev->next : m_head) = created;
        (created->next ? created->next->prev : m_tail) = created;
        ++m_count;
    }

    static TYPE& step(POSITION& position, Node* Node::*direction)
    {
        Node* at = node(position);
        position = pos(at->*direction);
        return at->data;
    }

    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    INT_PTR m_count = 0;
    INT_PTR m_blockSize;
};

class CStringList : public CList<CString, const CString&> {
public:
    explicit CStringList(INT_PTR blockSize = 10) : CList(blockSize) {}
};

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray : public CObject {
public:
    CArray() = default;
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;

    INT_PTR GetSize() const { return static_cast<INT_PTR>(m_items.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    INT_PTR GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }
    void SetSize(INT_PTR size) { m_items.resize(static_cast<size_t>(size)); }

    TYPE& operator[](INT_PTR index) { return m_items[static_cast<size_t>(index)]; }
    const TYPE& operator[](INT_PTR index) const { return m_items[static_cast<size_t>(index)]; }
    TYPE& ElementAt(INT_PTR index) { return (*this)[index]; }
    const TYPE& GetAt(INT_PTR index) const { return (*this)[index]; }
    void SetAt(INT_PTR index, ARG_TYPE element) { (*this)[index] = element; }
    // Sets the element, growing the array when the index is past its end.
    void SetAtGrow(INT_PTR index, ARG_TYPE element)
    {
        if (index >= GetSize())
            SetSize(index + 1);
        (*this)[index] = element;
    }
    TYPE* GetData() { return m_items.data(); }
    const TYPE* GetData() const { return m_items.data(); }

    INT_PTR Add(ARG_TYPE element)
    {
        m_items.push_back(element);
        return GetUpperBound();
    }
    void InsertAt(INT_PTR index, ARG_TYPE element)
    {
        m_items.insert(m_items.begin() + index, element);
    }
    void RemoveAt(INT_PTR index, INT_PTR count = 1)
    {
        m_items.erase(m_items.begin() + index, m_items.begin() + index + count);
    }
    void RemoveAll() { m_items.clear(); }

private:
    std::vector<TYPE> m_items;
};
