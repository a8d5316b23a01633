# Maintenance script (not part of the build): regenerates the form file and the catalogue
# sources in demo/install from the field table below. The generated files are committed.
import os
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
W = 22
def lab(t):
    t = t + ' '
    while len(t) < W - 2: t += '.'
    return t[:W-2] + ': '
YN = {'CAT': '|S,Sí|N,No', 'SPA': '|S,Sí|N,No', 'GLG': '|S,Si|N,Non', 'OCI': '|S,Òc|N,Non'}
# (row, col, {lang: label}, width, a3, a4, a5, type, a7, choices?)
L = lambda c, s, g, o: {'CAT': c, 'SPA': s, 'GLG': g, 'OCI': o}
fields = [
 (1, 2, L("Data d'alta", "Fecha de alta", "Data de alta", "Data d'alta"), 10, 0, 0, 4, 3, 0, False),
 (1, 40, L("Superfície (m²)", "Superficie (m²)", "Superficie (m²)", "Superfícia (m²)"), 5, 0, 1, 4, 4, 0, False),
 (2, 2, L("Coeficient", "Coeficiente", "Coeficiente", "Coeficient"), 5, 0, 1, 4, 4, 0, False),
 (2, 40, L("Tipus", "Tipo", "Tipo", "Tipe"), 1, 0, 0, 4, 0, 0, False),
 (4, 2, L("Inici del contracte", "Inicio del contrato", "Inicio do contrato", "Inici deth contracte"), 10, 0, 0, 0, 3, 0, False),
 (4, 40, L("Fi del contracte", "Fin del contrato", "Fin do contrato", "Fin deth contracte"), 10, 0, 0, 0, 3, 0, False),
 (5, 2, L("Pròrroga tàcita", "Prórroga tácita", "Prórroga tácita", "Perlongacion tacita"), 1, 0, 2, 0, 0, 0, True),
 (5, 40, L("Contracte actiu", "Contrato activo", "Contrato activo", "Contracte actiu"), 1, 0, 2, 0, 0, 0, True),
 (6, 2, L("Renda mensual", "Renta mensual", "Renda mensual", "Renda mesadèra"), 10, 0, 3, 0, 5, 0, False),
 (6, 40, L("Dia de cobrament", "Día de cobro", "Día de cobramento", "Dia de cobrament"), 2, 0, 0, 0, 1, 0, False),
 (7, 2, L("Fiança", "Fianza", "Fianza", "Fiança"), 10, 0, 3, 0, 5, 0, False),
 (7, 40, L("Aplica IVA", "Aplica IVA", "Aplica IVE", "Aplica IVA"), 1, 0, 2, 0, 0, 0, True),
 (8, 2, L("Aplica retenció", "Aplica retención", "Aplica retención", "Aplica retenguda"), 1, 0, 2, 0, 0, 0, True),
 (8, 40, L("Rebut domiciliat", "Recibo domiciliado", "Recibo domiciliado", "Recebut domiciliat"), 1, 0, 2, 0, 0, 0, True),
 (9, 2, L("Despeses comunitat", "Gastos comunidad", "Gastos comunidade", "Despenes comunitat"), 10, 0, 3, 0, 5, 0, False),
 (9, 40, L("Inclou l'aigua", "Incluye el agua", "Inclúe a auga", "Includís era aigua"), 1, 0, 2, 0, 0, 0, True),
 (10, 2, L("Inclou la llum", "Incluye la luz", "Inclúe a luz", "Includís era lum"), 1, 0, 2, 0, 0, 0, True),
 (10, 40, L("Import de l'IBI", "Importe del IBI", "Importe do IBI", "Impòrt der IBI"), 10, 0, 3, 0, 5, 0, False),
 (11, 2, L("Actualització IPC %", "Actualización IPC %", "Actualización IPC %", "Actualizacion IPC %"), 9, 0, 0, 0, 6, 0, False),
 (11, 40, L("Mesos de fiança", "Meses de fianza", "Meses de fianza", "Mesi de fiança"), 5, 0, 1, 0, 4, 0, False),
 (12, 2, L("Rebuts pendents", "Recibos pendientes", "Recibos pendentes", "Recebuts pendents"), 5, 0, 1, 0, 4, 0, False),
 (12, 40, L("Deute pendent", "Deuda pendiente", "Débeda pendente", "Deute pendent"), 10, 0, 3, 0, 5, 0, False),
 (13, 2, L("Última actualització", "Última actualización", "Última actualización", "Darrèra actualizacion"), 10, 0, 0, 0, 3, 0, False),
 (13, 40, L("Número de contracte", "Número de contrato", "Número de contrato", "Numèro de contracte"), 10, 0, 3, 0, 4, 0, False),
]
p1 = L("Finca", "Finca", "Finca", "Finca")
p2 = L("Departament", "Departamento", "Departamento", "Departament")
lists = [
 (506, 0, 3, 22, 20, 62, 0, L("_Finques_", "_Fincas_", "_Fincas_", "_Finques_"), 0),
 (507, 0, 5, 8, 22, 72, 0, L("_Departaments_de_la_finca_", "_Departamentos_de_la_finca_", "_Departamentos_da_finca_", "_Departaments_dera_finca_"), 0),
]
msgs = [
 L("FINCA INEXISTENT", "FINCA INEXISTENTE", "FINCA INEXISTENTE", "FINCA INEXISTENTA"),
 L("DEPARTAMENT INEXISTENT", "DEPARTAMENTO INEXISTENTE", "DEPARTAMENTO INEXISTENTE", "DEPARTAMENT INEXISTENT"),
 L("NO S'HA POGUT LLEGIR LA FITXA", "NO SE HA PODIDO LEER LA FICHA", "NON SE PUIDO LER A FICHA", "NON S'A POGUT LÈGER ERA FICHA"),
 L("NO S'HA POGUT CREAR LA FITXA", "NO SE HA PODIDO CREAR LA FICHA", "NON SE PUIDO CREAR A FICHA", "NON S'A POGUT CREAR ERA FICHA"),
 L("NO S'HAN POGUT DESAR ELS CANVIS", "NO SE HAN PODIDO GUARDAR LOS CAMBIOS", "NON SE PUIDERON GARDAR OS CAMBIOS", "NON S'AN POGUT GUARDAR ES CAMBIS"),
 L("NO S'HA POGUT ESBORRAR LA FITXA NOVA", "NO SE HA PODIDO BORRAR LA FICHA NUEVA", "NON SE PUIDO BORRAR A FICHA NOVA", "NON S'A POGUT ESBORRAR ERA FICHA NAUA"),
]
def q(s): return '"' + s + '"'
out = []
out.append("' Pantalla de la fitxa TranLauV (mòdul MODCARTA)")
out.append("' Capçalera: nombre de panells, màxim de camps per panell")
out.append("3,24")
out.append("' Panell 1: la finca (sense finestra pròpia)")
out.append(q("d,1b,9=d,4800,5000,3e00") + ",1,0,0,0,0,0")
out.append("3,3," + q(lab(p1['CAT'])) + ",3,0,0,0,1,1,\"\"")
out.append("' Panell 2: el departament")
out.append(q("d,1b,9=d,4800,5000,3e00") + ",1,0,0,0,0,0")
out.append("4,3," + q(lab(p2['CAT'])) + ",3,0,0,0,1,2,\"\"")
out.append("' Panell 3: la fitxa TranLauV del departament, 24 camps")
out.append(q("d,1b,9=5000,0f00=4800,4800,5000,4900,5100,4f00") + ",24,0,6,2,21,79")
for i, f in enumerate(fields, 1):
    row, col, labels, w, a3, a4, a5, t, a7, yn = f
    ch = q(YN['CAT']) if yn else '""'
    out.append("%d,%d,%s,%d,%d,%d,%d,%d,%d,%s" % (row, col, q(lab(labels['CAT'])), w, a3, a4, a5, t, a7, ch))
out.append("' Llistes de selecció: 1 finques, 2 departaments de la finca")
out.append("2")
for l in lists:
    fh, key, t, le, b, r, pan, title, nxt = l
    out.append("%d,%d,%d,%d,%d,%d,%d,%s,%d" % (fh, key, t, le, b, r, pan, q(title['CAT']), nxt))
open(ROOT + '/install/FORMS/MODCARTA.ZPN', 'w').write('\n'.join(out) + '\n')

cat = []
cat.append('"Català","Español","Galego","Aranés"')
def rec(d, f=lambda s: s):
    cat.append(','.join(q(f(d[k])) for k in ('CAT', 'SPA', 'GLG', 'OCI')))
rec(p1, lab); rec(p2, lab)
for f in fields: rec(f[2], lab)
rec(YN)
for l in lists: rec(l[7])
for m in msgs: rec(m)
open(ROOT + '/install/LOCALE/MODCARTA.LNG', 'w').write('\n'.join(cat) + '\n')
