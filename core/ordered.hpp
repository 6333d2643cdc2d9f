// Insertion-ordered hash map and set: one template, `OrderedTable`, with `T = void` for the set.
//
// Each key appears once; entries are kept oldest to newest. Inserting a key that is present
// neither replaces nor reorders it; only `move_to_newest` reorders, and a key that was erased or
// popped comes back as new. Lookup, insertion, erasure anywhere, `move_to_newest` and `pop_oldest`
// are O(1) on average. Iterators, pointers and references to an entry stay valid until that entry
// is erased (inserting other keys, rehashing and reordering leave them alone), so a walk may
// remove the current entry with `erase(it)`, which returns the entry after it.
//
// When the hash and the equality both declare `is_transparent`, lookup, erase, `move_to_newest`
// and insertion accept any key type they accept, and a key is only built when an entry is added.
// The defaults do this for string keys (looked up with string_view or a literal) and for pairs of
// strings (looked up with pairs of string_views).
#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_set>
#include <utility>

namespace vorn {

// Every string-like argument goes through string_view so that equal text hashes equally.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};

// Asymmetric combination: (room, message) and (message, room) are different keys, and so are
// ("ab", "c") and ("a", "bc") since each half is hashed on its own.
struct StringPairHash {
    using is_transparent = void;
    template <class A, class B>
    requires std::convertible_to<const A&, std::string_view> &&
        std::convertible_to<const B&, std::string_view>
            std::size_t operator()(const std::pair<A, B>& p) const noexcept {
        const std::size_t h = StringHash{}(p.first);
        return h ^ (StringHash{}(p.second) + static_cast<std::size_t>(0x9e3779b97f4a7c15ULL) +
                    (h << 6) + (h >> 2));
    }
};

// std::pair only compares with a pair of the same types before C++23, hence the pair overload.
struct TransparentEqual {
    using is_transparent = void;
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
        return a == b;
    }
    template <class A1, class A2, class B1, class B2>
    bool operator()(const std::pair<A1, A2>& a, const std::pair<B1, B2>& b) const {
        return a.first == b.first && a.second == b.second;
    }
};

namespace ordered_detail {

template <class S>
struct is_char_string : std::false_type {};
template <class A>
struct is_char_string<std::basic_string<char, std::char_traits<char>, A>> : std::true_type {};

template <class Key>
struct default_hash {
    using type = std::hash<Key>;
};
template <class Key>
requires is_char_string<Key>::value struct default_hash<Key> {
    using type = StringHash;
};
template <class A, class B>
requires(is_char_string<A>::value&& is_char_string<B>::value) struct default_hash<std::pair<A, B>> {
    using type = StringPairHash;
};

template <class H>
concept Transparent = requires {
    typename H::is_transparent;
};

template <class Key, class T>
struct Slots {
    using value = std::pair<const Key, T>;
    // A map key is const inside its entry, so popping copies it; the value is moved.
    using popped = std::pair<Key, T>;
    static const Key& key(const value& v) { return v.first; }
};
template <class Key>
struct Slots<Key, void> {
    using value = Key;
    using popped = Key;
    static const Key& key(const Key& v) { return v; }
};

}  // namespace ordered_detail

template <class Key>
using DefaultHash = typename ordered_detail::default_hash<Key>::type;

template <class Key, class T, class Hash = DefaultHash<Key>, class KeyEqual = TransparentEqual>
class OrderedTable {
    using Slots = ordered_detail::Slots<Key, T>;
    static constexpr bool is_set = std::is_void_v<T>;

  public:
    using key_type = Key;
    using mapped_type = T;
    using value_type = typename Slots::value;
    using popped_type = typename Slots::popped;
    using hasher = Hash;
    using key_equal = KeyEqual;
    using size_type = std::size_t;

  private:
    using List = std::list<value_type>;
    using Node = typename List::iterator;

  public:
    // A set entry is its key, which must not change under the index.
    using iterator =
        std::conditional_t<is_set, typename List::const_iterator, typename List::iterator>;
    using const_iterator = typename List::const_iterator;
    using reverse_iterator = std::reverse_iterator<iterator>;
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;
    using pointer = typename std::iterator_traits<iterator>::pointer;
    using const_pointer = const value_type*;

  private:
    // The index stores list positions and hashes the key through them, so each key exists once.
    struct IndexHash {
        using is_transparent = void;
        [[no_unique_address]] Hash hash;
        std::size_t operator()(Node n) const { return hash(Slots::key(*n)); }
        template <class K>
        std::size_t operator()(const K& k) const {
            return hash(k);
        }
    };
    struct IndexEq {
        using is_transparent = void;
        [[no_unique_address]] KeyEqual eq;
        // Two positions are only compared on insertion of a key known to be absent.
        bool operator()(Node a, Node b) const { return a == b; }
        template <class K>
        bool operator()(const K& k, Node n) const {
            return eq(k, Slots::key(*n));
        }
        template <class K>
        bool operator()(Node n, const K& k) const {
            return eq(Slots::key(*n), k);
        }
    };
    using Index = std::unordered_set<Node, IndexHash, IndexEq>;

    // Positions convert to const_iterator, so without this guard they would count as keys.
    template <class K>
    static constexpr bool heterogeneous =
        ordered_detail::Transparent<Hash>&& ordered_detail::Transparent<KeyEqual> &&
        !std::is_same_v<K, Key> && !std::is_convertible_v<const K&, const_iterator> &&
        !std::is_convertible_v<const K&, iterator>;

  public:
    OrderedTable() = default;
    OrderedTable(std::initializer_list<value_type> init) {
        reserve(init.size());
        for (const value_type& v : init) insert(v);
    }
    OrderedTable(const OrderedTable& other)
        : index_(other.size(), other.index_.hash_function(), other.index_.key_eq()) {
        for (const value_type& v : other.entries_) append(v);
    }
    // Moved-from tables are left empty and usable.
    OrderedTable(OrderedTable&& other) noexcept(std::is_nothrow_move_constructible_v<Index>)
        : entries_(std::move(other.entries_)), index_(std::move(other.index_)) {
        other.clear();
    }
    OrderedTable& operator=(const OrderedTable& other) {
        if (this != &other) {
            OrderedTable copy(other);
            swap(copy);
        }
        return *this;
    }
    OrderedTable& operator=(OrderedTable&& other) noexcept(std::is_nothrow_swappable_v<Index>) {
        if (this != &other) {
            swap(other);
            other.clear();
        }
        return *this;
    }
    ~OrderedTable() = default;

    // List swap keeps positions valid, so each index still points into the list it moved with.
    void swap(OrderedTable& other) noexcept(std::is_nothrow_swappable_v<Index>) {
        entries_.swap(other.entries_);
        index_.swap(other.index_);
    }
    friend void swap(OrderedTable& a, OrderedTable& b) noexcept(noexcept(a.swap(b))) { a.swap(b); }

    size_type size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void clear() {
        index_.clear();
        entries_.clear();
    }
    void reserve(size_type n) { index_.reserve(n); }

    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    const_iterator cbegin() const { return entries_.cbegin(); }
    const_iterator cend() const { return entries_.cend(); }
    reverse_iterator rbegin() { return reverse_iterator(end()); }
    reverse_iterator rend() { return reverse_iterator(begin()); }
    const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
    const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }

    // Null when empty.
    pointer oldest() { return empty() ? nullptr : &entries_.front(); }
    const_pointer oldest() const { return empty() ? nullptr : &entries_.front(); }
    pointer newest() { return empty() ? nullptr : &entries_.back(); }
    const_pointer newest() const { return empty() ? nullptr : &entries_.back(); }

    iterator find(const Key& key) { return unconst(locate(key)); }
    const_iterator find(const Key& key) const { return locate(key); }
    template <class K>
    requires heterogeneous<K> iterator find(const K& key) { return unconst(locate(key)); }
    template <class K>
    requires heterogeneous<K> const_iterator find(const K& key)
    const { return locate(key); }

    bool contains(const Key& key) const { return index_.find(key) != index_.end(); }
    template <class K>
    requires heterogeneous<K>
    bool contains(const K& key) const { return index_.find(key) != index_.end(); }

    // Adds `value` as the newest entry unless its key is present; the bool tells which happened.
    std::pair<iterator, bool> insert(const value_type& value) {
        return place(Slots::key(value), value);
    }
    std::pair<iterator, bool> insert(value_type&& value) {
        return place(Slots::key(value), std::move(value));
    }
    template <class K>
    requires(is_set&& heterogeneous<std::remove_cvref_t<K>>&& std::constructible_from<Key, K>)
        std::pair<iterator, bool> insert(K&& key) {
        return place(key, std::forward<K>(key));
    }

    // Like insert, but the value is only constructed (from `args`) when the key is absent.
    template <class... Args>
    requires(!is_set) std::pair<iterator, bool> try_emplace(const Key& key, Args&&... args) {
        return place(key, std::piecewise_construct, std::forward_as_tuple(key),
                     std::forward_as_tuple(std::forward<Args>(args)...));
    }
    template <class... Args>
    requires(!is_set) std::pair<iterator, bool> try_emplace(Key&& key, Args&&... args) {
        return place(key, std::piecewise_construct, std::forward_as_tuple(std::move(key)),
                     std::forward_as_tuple(std::forward<Args>(args)...));
    }
    template <class K, class... Args>
    requires(!is_set && heterogeneous<std::remove_cvref_t<K>> && std::constructible_from<Key, K>)
        std::pair<iterator, bool> try_emplace(K&& key, Args&&... args) {
        return place(key, std::piecewise_construct, std::forward_as_tuple(std::forward<K>(key)),
                     std::forward_as_tuple(std::forward<Args>(args)...));
    }

    // Returns the entry, now newest, or end() when the key is absent (nothing moves then).
    iterator move_to_newest(const Key& key) { return move_to_newest(locate(key)); }
    template <class K>
    requires heterogeneous<K> iterator move_to_newest(const K& key) {
        return move_to_newest(locate(key));
    }
    iterator move_to_newest(const_iterator pos) {
        if (pos != entries_.end()) entries_.splice(entries_.end(), entries_, pos);
        return unconst(pos);
    }

    bool erase(const Key& key) { return erase_key(key); }
    template <class K>
    requires heterogeneous<K>
    bool erase(const K& key) { return erase_key(key); }
    // Returns the entry that followed `pos`; other iterators stay valid.
    iterator erase(const_iterator pos) {
        index_.erase(unconst(pos));
        return entries_.erase(pos);
    }
    template <class Pred>
    size_type erase_if(Pred pred) {
        size_type removed = 0;
        for (const_iterator it = cbegin(); it != cend();) {
            if (pred(*it)) {
                it = erase(it);
                ++removed;
            } else {
                ++it;
            }
        }
        return removed;
    }

    std::optional<popped_type> pop_oldest() {
        if (entries_.empty()) return std::nullopt;
        const Node node = entries_.begin();
        // The index hashes the key on erase, so the key must be intact until it is out.
        if constexpr (is_set) {
            index_.erase(node);
            popped_type out(std::move(*node));
            entries_.pop_front();
            return out;
        } else {
            popped_type out(node->first, std::move(node->second));
            index_.erase(node);
            entries_.pop_front();
            return out;
        }
    }

  private:
    template <class K>
    const_iterator locate(const K& key) const {
        const auto hit = index_.find(key);
        return hit == index_.end() ? entries_.cend() : const_iterator(*hit);
    }

    // An empty-range erase is the O(1) way the list offers to drop const from a position.
    Node unconst(const_iterator pos) { return entries_.erase(pos, pos); }

    // `key` is only read before `args` are consumed, so it may alias one of them.
    template <class K, class... Args>
    std::pair<iterator, bool> place(const K& key, Args&&... args) {
        if (const auto hit = index_.find(key); hit != index_.end()) return {*hit, false};
        return {append(std::forward<Args>(args)...), true};
    }

    template <class... Args>
    Node append(Args&&... args) {
        entries_.emplace_back(std::forward<Args>(args)...);
        const Node node = std::prev(entries_.end());
        try {
            index_.insert(node);
        } catch (...) {
            entries_.pop_back();
            throw;
        }
        return node;
    }

    template <class K>
    bool erase_key(const K& key) {
        const auto hit = index_.find(key);
        if (hit == index_.end()) return false;
        const Node node = *hit;
        index_.erase(hit);
        entries_.erase(node);
        return true;
    }

    List entries_;
    Index index_;
};

template <class Key, class T, class Hash = DefaultHash<Key>, class KeyEqual = TransparentEqual>
using OrderedMap = OrderedTable<Key, T, Hash, KeyEqual>;

template <class Key, class Hash = DefaultHash<Key>, class KeyEqual = TransparentEqual>
using OrderedSet = OrderedTable<Key, void, Hash, KeyEqual>;

}  // namespace vorn
