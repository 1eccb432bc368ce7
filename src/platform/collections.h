// The framework's containers: CList (doubly linked, walked by POSITION) and CStringList.
// Lists hold their elements by value in nodes of their own; a POSITION is a node.
#pragma once

#include <cstddef>
#include <utility>

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
    // one, so the size is accepted and not used.
    explicit CList(INT_PTR /*blockSize*/ = 10) {}
    ~CList() override { RemoveAll(); }
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;

    INT_PTR GetCount() const { return m_count; }
    INT_PTR GetSize() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }

    TYPE& GetTail() { return m_tail->data; }
    const TYPE& GetTail() const { return m_tail->data; }

    POSITION AddTail(ARG_TYPE element)
    {
        Node* created = newNode(element);
        created->prev = m_tail;
        link(created);
        return pos(created);
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

    // Return the element at position and move position on (null after the last).
    TYPE& GetNext(POSITION& position) { return step(position, &Node::next); }
    const TYPE& GetNext(POSITION& position) const { return step(position, &Node::next); }

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
};

class CStringList : public CList<CString, const CString&> {
public:
    explicit CStringList(INT_PTR blockSize = 10) : CList(blockSize) {}
};
