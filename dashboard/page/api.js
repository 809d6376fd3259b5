// The dashboard's read-only API; each call one JSON document.
export async function getJson(path, params = {}) {
    const query = new URLSearchParams();
    for (const [key, value] of Object.entries(params))
        if (value !== undefined && value !== null && value !== '')
            query.set(key, value);
    const text = query.toString();
    const response = await fetch(text ? `${path}?${text}` : path, {cache : 'no-store'});
    if (!response.ok) {
        const body = await response.json().catch(() => ({}));
        throw new Error(`${path}: ${response.status} ${body.error ?? ''}`.trim());
    }
    return response.json();
}
