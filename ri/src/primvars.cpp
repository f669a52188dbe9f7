#include "ri/primvars.h"

#include <cstdlib>
#include <cstring>

#include "ri/declarations.h"
#include "ri/recordpool.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"

namespace {


// Bytes of one value number of a type: a string is a pointer, all else 4.
size_t element_bytes(int type)
{
    return type == DECL_STRING ? sizeof(RtString) : 4;
}

} // namespace

static RecordPool &vvdata_pool()
{
    static RecordPool pool(sizeof(VVData), 32, "out of core memory");
    return pool;
}

StatCounter &vvdata_counter()
{
    return vvdata_pool().counter;
}

StatCounter &vvdata_memory()
{
    static StatCounter counter;
    return counter;
}

void *VVData::operator new(size_t size)
{
    RI_ASSERT(size <= sizeof(VVData), "vertexvar");
    return vvdata_pool().take();
}

void VVData::operator delete(void *p)
{
    vvdata_pool().give_back(p);
}

VVData::VVData(RtToken tok, int t, int d, int c, const void *values, int words)
    : token(tok), type((uint8_t)t), detail((uint8_t)d), count((uint16_t)c)
{
    if (words < 0) words = 0;
    size = (int)(words * element_bytes(t));
    data = size ? malloc(size) : nullptr;
    if (size && !data) {
        ri_error(RIE_NOMEM, RIE_SEVERE, "out of core memory");
        size = 0;
    }
    if (data && values) {
        if (t == DECL_STRING) {
            const RtString *in = static_cast<const RtString *>(values);
            RtString *out = static_cast<RtString *>(data);
            for (int i = 0; i < words; i++) out[i] = NewToken(in[i]);
        } else {
            memcpy(data, values, size);
        }
    } else if (data) {
        memset(data, 0, size);
    }
    vvdata_memory().add(size);
}

VVData::~VVData()
{
    free(data);
    vvdata_memory().subtract(size);
}

int VVData::words() const
{
    return (int)(size / element_bytes(type));
}

VVData *VVData::clone() const
{
    return new VVData(token, type, detail, count, data, words());
}

void VVData::dump() const
{
    fprintf(stderr, "  Item: %s, size = %d\n", token ? token : "", size);
}

void VertexVarList::push_front(VVData *v)
{
    v->next = head;
    head = v;
}

void VertexVarList::clear()
{
    while (head) {
        VVData *v = head;
        head = v->next;
        delete v;
    }
}

void VertexVarList::dump() const
{
    fprintf(stderr, "Vertex vector:\n");
    for (VVData *v = head; v; v = v->next) v->dump();
}

VVData *VertexVarList::find_entry(RtToken token) const
{
    for (VVData *v = head; v; v = v->next)
        if (v->token == token) return v;
    return nullptr;
}

void *VertexVarList::find(RtToken token) const
{
    VVData *v = find_entry(token);
    return v ? v->data : nullptr;
}

void *VertexVarList::take(RtToken token)
{
    for (VVData **link = &head; *link; link = &(*link)->next) {
        VVData *v = *link;
        if (v->token != token) continue;
        *link = v->next;
        void *data = v->data;
        vvdata_memory().subtract(v->size);
        v->data = nullptr;
        v->size = 0;
        delete v;
        return data;
    }
    return nullptr;
}

void copy_vertex_var_list(VertexVarList &dst, const VertexVarList &src)
{
    if (&dst == &src) return;
    dst.clear();
    for (VVData *v = src.head; v; v = v->next) dst.push_front(v->clone());
}

int build_vertex_var_list(VertexVarList &list, int nvertex, int nvarying, int nuniform,
                          int rule, RtInt n, const RtToken tokens[], const RtPointer values[])
{
    static const RtToken P = NewToken("P"), Pw = NewToken("Pw"), Pz = NewToken("Pz");
    int failed = 0;
    bool found_position = false;
    for (int i = 0; i < n; i++) {
        Declaration *d = declarations().lookup(tokens[i]);
        if (!d) {
            ri_error(RIE_BADTOKEN, RIE_WARNING, "Token %s not declared", tokens[i] ? tokens[i] : "(null)");
            continue;
        }
        RtToken name = d->name();
        if (name == P || name == Pw || name == Pz) {
            if (name == P && rule == POSITION_NONE) {
                ri_error(RIE_BADTOKEN, RIE_WARNING, "\"P\" not accepted");
                failed = 1;
                continue;
            }
            if (name != P && rule < POSITION_ANY) {
                ri_error(RIE_BADTOKEN, RIE_WARNING, "\"%s\" not accepted", name);
                failed = 1;
                continue;
            }
            found_position = true;
        }
        int64_t per = 1;
        switch (d->detail) {
        case DETAIL_VARYING: per = nvarying; break;
        case DETAIL_VERTEX: per = nvertex; break;
        case DETAIL_UNIFORM: per = nuniform; break;
        default: per = 1; break;
        }
        int64_t words = (int64_t)d->words() * (per < 0 ? 0 : per);
        if (words > (1 << 28)) {
            ri_error(RIE_LIMIT, RIE_ERROR, "Too much data for %s", name);
            failed = 1;
            continue;
        }
        list.push_front(new VVData(name, d->type, d->detail, d->length, values[i], (int)words));
    }
    if (rule == POSITION_P && !found_position) {
        ri_error(RIE_MISSINGDATA, RIE_ERROR, "\"P\" parameter needed.");
        failed = 1;
    } else if (rule >= POSITION_ANY && !found_position) {
        ri_error(RIE_MISSINGDATA, RIE_ERROR, "P/Pw/Pz parameter needed.");
        failed = 1;
    }
    return failed;
}

void print_vertex_var_stats(FILE *out)
{
    const StatCounter &c = vvdata_counter(), &m = vvdata_memory();
    fprintf(out, "Vertex vector stats:\n");
    fprintf(out, "    VVData entries: %ld requested, %ld outstanding, %ld peak (%ld kb)\n",
            (long)c.requested, (long)c.current, (long)c.peak, (long)(c.peak * 20 / 1024));
    fprintf(out, "    vert data memory: %ldk requested, %ldk outstanding,  %ldk peak\n",
            (long)(m.requested / 1024), (long)(m.current / 1024), (long)(m.peak / 1024));
}
